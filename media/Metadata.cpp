#include "media/Metadata.h"

#include "media/BoxReader.h"
#include "media/FourCC.h"

#include <QStringDecoder>
#include <vector>

namespace {

// Values longer than this are not text anyone would put in a label; they stay unread.
constexpr std::uint64_t longestText = 64 * 1024;

bool isTimecodeKey(const QByteArray& key) {
    const QString lower = QString::fromUtf8(key).toLower();
    return lower == QLatin1String("timecode") || lower.endsWith(QLatin1String(".timecode"));
}

// A "data" box of an item list: a well-known type, a locale, then the value.
std::optional<QString> readDataBox(BoxReader& reader) {
    if (reader.remaining() < 8)
        return std::nullopt;
    const std::uint32_t type = reader.u32();
    reader.skip(4);
    if (reader.remaining() > longestText)
        return std::nullopt;
    const QByteArray value = reader.bytes(std::size_t(reader.remaining()));
    switch (type) {
    case 1:
    case 4:
        return QString::fromUtf8(value);
    case 2:
    case 5:
        return QStringDecoder(QStringDecoder::Utf16BE).decode(value);
    default:
        return std::nullopt;
    }
}

// An item-list entry: the value of its first "data" box; an iTunes free-form entry ("----")
// names itself with "name".
struct ItemValue {
    std::optional<QString> value;
    QByteArray name;
};

ItemValue readItem(BoxReader& reader) {
    ItemValue item;
    bool seenData = false;
    while (auto box = reader.nextBox()) {
        reader.enter(*box, [&] {
            if (box->type == fourCC("data") && !seenData) {
                seenData = true;
                item.value = readDataBox(reader);
            } else if (box->type == fourCC("name") && reader.remaining() >= 4 &&
                       reader.remaining() <= longestText) {
                reader.skip(4);
                item.name = reader.bytes(std::size_t(reader.remaining()));
            }
        });
    }
    return item;
}

// Which keys of a "keys" box name timecode: one bit per key, whatever the keys hold.
std::vector<bool> readKeys(BoxReader& reader) {
    reader.fullBoxHeader();
    const std::uint32_t count = reader.u32();
    BoxReader::require(count <= reader.remaining() / 8);
    std::vector<bool> timecode;
    timecode.reserve(count);
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::uint32_t size = reader.u32();
        reader.u32(); // key space, "mdta" in practice
        BoxReader::require(size >= 8 && size - 8 <= reader.remaining());
        if (size - 8 <= longestText) {
            timecode.push_back(isTimecodeKey(reader.bytes(size - 8)));
        } else {
            reader.skip(size - 8);
            timecode.push_back(false);
        }
    }
    return timecode;
}

} // namespace

void readMetaBox(BoxReader& reader, TimecodeLabels& labels) {
    // ISO's "meta" is a full box, QuickTime's is not: QuickTime's starts with its handler box.
    if (reader.remaining() >= 8) {
        const std::uint64_t start = reader.position();
        reader.u32();
        const bool quickTime = reader.u32() == fourCC("hdlr");
        reader.seek(quickTime ? start : start + 4);
    }
    std::uint32_t handler = 0;
    std::vector<bool> timecodeKeys;
    while (auto box = reader.nextBox()) {
        reader.enter(*box, [&] {
            if (box->type == fourCC("hdlr") && reader.remaining() >= 12) {
                reader.skip(8);
                handler = reader.u32();
            } else if (box->type == fourCC("keys")) {
                timecodeKeys = readKeys(reader);
            } else if (box->type == fourCC("ilst")) {
                while (auto entry = reader.nextBox()) {
                    reader.enter(*entry, [&] {
                        if (handler == fourCC("mdta")) {
                            // Entries are named by their 1-based index into the key table.
                            if (entry->type >= 1 && entry->type <= timecodeKeys.size() &&
                                timecodeKeys[entry->type - 1])
                                labels.add(readItem(reader).value);
                        } else if (handler == fourCC("mdir") && entry->type == fourCC("----")) {
                            const ItemValue item = readItem(reader);
                            if (isTimecodeKey(item.name))
                                labels.add(item.value);
                        }
                    });
                }
            }
        });
    }
}

void readUserData(BoxReader& reader, TimecodeLabels& labels) {
    // Classic QuickTime text items are keyed by four characters, never "timecode".
    while (auto box = reader.nextBox())
        reader.enter(*box, [&] {
            if (box->type == fourCC("meta"))
                readMetaBox(reader, labels);
        });
}
