#include "app/KorvaneApp.h"

int main(int argc, char** argv) {
    return KorvaneApp::run(argc, argv);
}
