// Cut and damaged files must give an answer, an error or a result, and never crash or hang.
#include "ClipTools.h"
#include "SourceTestSupport.h"
#include "media/MovieFormatError.h"

#include <QFile>
#include <QTemporaryDir>
#include <random>
#include <set>

using namespace MediaTest;

namespace {

enum class Outcome { result, refusal };

// Only our own sentences and system errors are acceptable answers.
Outcome inspectAnything(const QByteArray& bytes) {
    try {
        inspectBytes(bytes);
        return Outcome::result;
    } catch (const MessageError&) {
        return Outcome::refusal;
    } catch (const std::system_error&) {
        return Outcome::refusal;
    }
}

QByteArray clipBytes(const QStringList& extra, const QString& name) {
    QTemporaryDir dir;
    const QString path =
        makeClip(QDir(dir.path()), name,
                 QStringList{QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
                             QStringLiteral("testsrc2=size=128x64:rate=30000/1001"),
                             QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
                             QStringLiteral("sine=sample_rate=48000"), QStringLiteral("-t"),
                             QStringLiteral("2"), QStringLiteral("-c:v"), QStringLiteral("libx264"),
                             QStringLiteral("-c:a"), QStringLiteral("aac"),
                             QStringLiteral("-timecode"), QStringLiteral("00:59:59;28")} +
                     extra);
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::ReadOnly));
    return file.readAll();
}

// Where the movie box lies, to aim mutations at the tables rather than at media data.
std::pair<qsizetype, qsizetype> movieBoxRange(const QByteArray& bytes) {
    const qsizetype at = bytes.indexOf("moov");
    return {at - 4, bytes.size()};
}

// Ends of the top-level boxes (32-bit sizes suffice for these clips).
std::set<qsizetype> topLevelBoundaries(const QByteArray& bytes) {
    std::set<qsizetype> ends;
    qsizetype at = 0;
    while (at + 8 <= bytes.size()) {
        const auto* p = reinterpret_cast<const std::uint8_t*>(bytes.constData() + at);
        at += qsizetype(std::uint32_t(p[0]) << 24 | p[1] << 16 | p[2] << 8 | p[3]);
        ends.insert(at);
    }
    return ends;
}

void checkPrefix(const QByteArray& file, qsizetype length, const std::set<qsizetype>& ends) {
    const Outcome outcome = inspectAnything(file.left(length));
    // Cut inside a box, a file is incomplete; cut between fragments it is a shorter movie.
    if (!ends.count(length)) {
        EXPECT_EQ(outcome, Outcome::refusal) << length;
    }
}

void checkPrefixesAndMutations(const QByteArray& file, std::uint32_t seed) {
    ASSERT_EQ(inspectAnything(file), Outcome::result);
    const std::set<qsizetype> ends = topLevelBoundaries(file);
    for (qsizetype length = 0; length < file.size(); length += 4096)
        checkPrefix(file, length, ends);
    const auto [moovStart, moovEnd] = movieBoxRange(file);
    ASSERT_GE(moovStart, 0);
    for (qsizetype length = moovStart; length < std::min(moovEnd, file.size()); length += 7)
        checkPrefix(file, length, ends);

    std::mt19937 random(seed);
    int results = 0;
    for (int round = 0; round < 3000; ++round) {
        QByteArray damaged = file;
        const int changes = 1 + int(random() % 4);
        for (int i = 0; i < changes; ++i) {
            const bool inTables = random() % 4 != 0;
            const qsizetype at =
                inTables ? moovStart + qsizetype(random() % std::uint32_t(moovEnd - moovStart))
                         : qsizetype(random() % std::uint32_t(file.size()));
            switch (random() % 3) {
            case 0:
                damaged[at] = char(random());
                break;
            case 1:
                damaged[at] = char(damaged[at] ^ (1 << (random() % 8)));
                break;
            default:
                damaged[at] = char(random() % 2 ? 0xFF : 0x00);
                break;
            }
        }
        results += inspectAnything(damaged) == Outcome::result;
    }
    // Most single-byte changes land in fields nobody checks; some must still be caught.
    EXPECT_GT(results, 0);
    EXPECT_LT(results, 3000);
}

} // namespace

TEST(Robustness, CutAndDamagedMovieAtTheEnd) {
    checkPrefixesAndMutations(clipBytes({}, QStringLiteral("end.mov")), 1);
}

TEST(Robustness, CutAndDamagedMovieAtTheStart) {
    checkPrefixesAndMutations(clipBytes({QStringLiteral("-movflags"), QStringLiteral("+faststart")},
                                        QStringLiteral("start.mp4")),
                              2);
}

TEST(Robustness, CutAndDamagedFragments) {
    checkPrefixesAndMutations(
        clipBytes({QStringLiteral("-g"), QStringLiteral("10"), QStringLiteral("-movflags"),
                   QStringLiteral("frag_keyframe+empty_moov")},
                  QStringLiteral("fragments.mp4")),
        3);
}
