// What Qt's codecs log while a picture is read: taken from Qt's message
// handler, per thread, instead of reaching stderr, so that a decode can quote
// it in its refusal. A process-wide handler, installed at the first use.
#pragma once

#include <QStringList>

#include <string>

namespace quadfind {

// For as long as it lives, every warning, critical message and image-I/O
// info that this thread logs through Qt is kept in `messages`; an inner one
// takes them until it ends. The capturing handler is installed at the first
// construction and hands on whatever it does not capture to the handler
// before it: a program that installs its own should do so before loading
// its first picture.
class CapturedMessages {
public:
    CapturedMessages();
    ~CapturedMessages();
    CapturedMessages(const CapturedMessages&) = delete;
    CapturedMessages& operator=(const CapturedMessages&) = delete;

    // The first few, enough to say what is wrong without flooding a log.
    std::string summary() const;

    QStringList messages;

private:
    QStringList* outer_ = nullptr;
};

} // namespace quadfind
