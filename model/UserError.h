#pragma once

#include <QByteArray>
#include <QString>
#include <exception>

// An error whose whole user-facing text is one sentence: no prefix, code or suggestion.
class MessageError : public std::exception {
public:
    explicit MessageError(QString message);
    const QString& message() const noexcept { return message_; }
    const char* what() const noexcept override { return utf8_.constData(); }

private:
    QString message_;
    QByteArray utf8_;
};

// Refusals of inspection, of the export request and of writing.
class ExportError : public MessageError {
public:
    using MessageError::MessageError;
};

// No FCPXML 1.14 document type definition to validate a save against was found.
class MissingDTDError : public ExportError {
public:
    MissingDTDError();
};

// Failures of the live preview: loading, playback, seeking and the GPU renderer.
class PreviewError : public MessageError {
public:
    using MessageError::MessageError;
};

// A task that was cancelled, or superseded by a newer one, before it finished.
class CancellationError : public MessageError {
public:
    CancellationError();
};

// The text to show a user for any error: the carried sentence of our own errors, the system's
// description of an errno (std::system_error, nothing prepended), else what() as UTF-8.
QString localizedDescription(const std::exception& error);
QString localizedDescription(const std::exception_ptr& error);
