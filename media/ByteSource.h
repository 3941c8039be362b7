#pragma once

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <span>

// Random access to the bytes of a movie. Every read is bounded by the caller and counted, so a
// measurement can tell how much of a file an inspection touched.
class ByteSource {
public:
    virtual ~ByteSource() = default;
    ByteSource(const ByteSource&) = delete;
    ByteSource& operator=(const ByteSource&) = delete;

    virtual std::uint64_t size() const = 0;

    // Fills `out` from `offset`. A range past the end throws MovieFormatError; a failing device
    // throws MessageError with a sentence naming the file.
    void read(std::uint64_t offset, std::span<std::uint8_t> out);

    std::uint64_t bytesRead() const { return bytesRead_; }

protected:
    ByteSource() = default;
    virtual void readAt(std::uint64_t offset, std::span<std::uint8_t> out) = 0;

private:
    std::uint64_t bytesRead_ = 0;
};

// A regular file opened for reading; read with pread, never mapped or loaded whole.
class FileByteSource final : public ByteSource {
public:
    // Throws MessageError with a sentence naming the file when it cannot be opened or is not a
    // regular file (a folder, a pipe, a device).
    explicit FileByteSource(const QString& path);
    ~FileByteSource() override;

    std::uint64_t size() const override { return size_; }

protected:
    void readAt(std::uint64_t offset, std::span<std::uint8_t> out) override;

private:
    int descriptor_ = -1;
    std::uint64_t size_ = 0;
    QString path_;
    QString name_; // the last path component as the user reads it, for messages
};

// Bytes already in memory (fuzzing, tests). The span must outlive the source.
class MemoryByteSource final : public ByteSource {
public:
    explicit MemoryByteSource(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}
    explicit MemoryByteSource(const QByteArray& bytes)
        : bytes_(reinterpret_cast<const std::uint8_t*>(bytes.constData()),
                 std::size_t(bytes.size())) {}
    // The bytes are not copied: a temporary would be gone before the first read.
    explicit MemoryByteSource(QByteArray&&) = delete;

    std::uint64_t size() const override { return bytes_.size(); }

protected:
    void readAt(std::uint64_t offset, std::span<std::uint8_t> out) override;

private:
    std::span<const std::uint8_t> bytes_;
};
