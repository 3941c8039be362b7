#include "model/UserError.h"

#include "model/PlatformTexts.h"

#include <system_error>

MessageError::MessageError(QString message)
    : message_(std::move(message)), utf8_(message_.toUtf8()) {}

MissingDTDError::MissingDTDError()
    : ExportError(PlatformTexts::text(PlatformTexts::Text::dtdMissing)) {}

CancellationError::CancellationError()
    : MessageError(QStringLiteral("The operation was cancelled.")) {}

QString localizedDescription(const std::exception& error) {
    if (const auto* own = dynamic_cast<const MessageError*>(&error))
        return own->message();
    if (const auto* system = dynamic_cast<const std::system_error*>(&error))
        return QString::fromStdString(system->code().message());
    return QString::fromUtf8(error.what());
}

QString localizedDescription(const std::exception_ptr& error) {
    if (!error)
        return {};
    try {
        std::rethrow_exception(error);
    } catch (const std::exception& e) {
        return localizedDescription(e);
    } catch (...) {
        return QStringLiteral("An unexpected error occurred.");
    }
}
