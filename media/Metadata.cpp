#include "media/Metadata.h"

#include "media/BoxReader.h"
#include "media/FourCC.h"

#include <QStringDecoder>

namespace {

// Values longer than this are not text anyone would put in a label; they stay unread.
constexpr std::uint64_t longestText = 64 * 1024;

QByteArray fourCCBytes(std::uint32_t code) {
    const char bytes[4] = {char(code >> 24), char(code >> 16), char(code >> 8), char(code)};
    return QByteArray(bytes, 4);
}

QString identifier(const char* keySpace, const QByteArray& key) {
    return QLatin1String(keySpace) + QLatin1Char('/') +
           QString::fromLatin1(key.toPercentEncoding());
}

QString macRoman(const QByteArray& bytes) {
    QStringDecoder decoder("macintosh");
    return decoder.isValid() ? decoder.decode(bytes) : QString::fromLatin1(bytes);
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

// The value of an item-list entry: its first "data" box; an iTunes free-form entry ("----")
// also names itself with "name".
std::optional<QString> readItemValue(BoxReader& reader, QByteArray* freeFormName) {
    std::optional<QString> value;
    bool seenData = false;
    while (auto box = reader.nextBox()) {
        reader.enter(*box, [&] {
            if (box->type == fourCC("data") && !seenData) {
                seenData = true;
                value = readDataBox(reader);
            } else if (box->type == fourCC("name") && freeFormName && reader.remaining() >= 4 &&
                       reader.remaining() <= longestText) {
                reader.skip(4);
                *freeFormName = reader.bytes(std::size_t(reader.remaining()));
            }
        });
    }
    return value;
}

std::vector<QByteArray> readKeys(BoxReader& reader) {
    reader.fullBoxHeader();
    const std::uint32_t count = reader.u32();
    BoxReader::require(count <= reader.remaining() / 8);
    std::vector<QByteArray> keys;
    keys.reserve(count);
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::uint32_t size = reader.u32();
        reader.u32(); // key space, "mdta" in practice
        BoxReader::require(size >= 8 && size - 8 <= reader.remaining());
        if (size - 8 <= longestText) {
            keys.push_back(reader.bytes(size - 8));
        } else {
            reader.skip(size - 8);
            keys.emplace_back();
        }
    }
    return keys;
}

// Classic QuickTime user data text: entries of length, language code and text; the first one.
std::optional<QString> readUserDataText(BoxReader& reader) {
    if (reader.remaining() < 4)
        return std::nullopt;
    const std::uint16_t length = reader.u16();
    const std::uint16_t language = reader.u16();
    if (length > reader.remaining())
        return std::nullopt;
    const QByteArray text = reader.bytes(length);
    // Language codes below 0x400 are Macintosh language codes, whose text is Mac Roman.
    return language < 0x400 ? macRoman(text) : QString::fromUtf8(text);
}

} // namespace

void readMetaBox(BoxReader& reader, std::vector<MetadataItem>& items) {
    // ISO's "meta" is a full box, QuickTime's is not: QuickTime's starts with its handler box.
    if (reader.remaining() >= 8) {
        const std::uint64_t start = reader.position();
        reader.u32();
        const bool quickTime = reader.u32() == fourCC("hdlr");
        reader.seek(quickTime ? start : start + 4);
    }
    std::uint32_t handler = 0;
    std::vector<QByteArray> keys;
    while (auto box = reader.nextBox()) {
        reader.enter(*box, [&] {
            if (box->type == fourCC("hdlr") && reader.remaining() >= 12) {
                reader.skip(8);
                handler = reader.u32();
            } else if (box->type == fourCC("keys")) {
                keys = readKeys(reader);
            } else if (box->type == fourCC("ilst")) {
                while (auto entry = reader.nextBox()) {
                    reader.enter(*entry, [&] {
                        MetadataItem item;
                        if (handler == fourCC("mdta")) {
                            // Entries are named by their 1-based index into the key table.
                            if (entry->type == 0 || entry->type > keys.size())
                                return;
                            const QByteArray& key = keys[entry->type - 1];
                            item.key = QString::fromUtf8(key);
                            item.identifier = identifier("mdta", key);
                            item.stringValue = readItemValue(reader, nullptr);
                        } else if (handler == fourCC("mdir")) {
                            QByteArray name;
                            item.stringValue = readItemValue(
                                reader, entry->type == fourCC("----") ? &name : nullptr);
                            item.key =
                                name.isEmpty() ? fourCCText(entry->type) : QString::fromUtf8(name);
                            item.identifier = identifier("itsk", fourCCBytes(entry->type));
                        } else {
                            return;
                        }
                        items.push_back(std::move(item));
                    });
                }
            }
        });
    }
}

void readUserData(BoxReader& reader, std::vector<MetadataItem>& items) {
    while (auto box = reader.nextBox()) {
        reader.enter(*box, [&] {
            if (box->type == fourCC("meta")) {
                readMetaBox(reader, items);
            } else if ((box->type >> 24) == 0xA9) {
                MetadataItem item;
                item.key = fourCCText(box->type);
                item.identifier = identifier("udta", fourCCBytes(box->type));
                item.stringValue = readUserDataText(reader);
                items.push_back(std::move(item));
            }
        });
    }
}
