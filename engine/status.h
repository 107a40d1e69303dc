// Status is the result of an operation that can fail: either OK, or an
// error with a message for the user that names the path involved and the
// system's reason ("/web/a.htm: Permission denied").  Errors are values; the
// engine throws no exceptions of its own.

#ifndef VANTREL_ENGINE_STATUS_H_
#define VANTREL_ENGINE_STATUS_H_

#include <string>
#include <string_view>
#include <utility>

namespace engine {

class Status {
 public:
  // What kind of failure, where a caller must tell them apart.
  enum Code { kOk, kError, kBusy, kUnsupported, kChanged, kUnflushed };

  // An OK status.
  Status() = default;

  static Status OK() { return Status(); }
  // An error whose message is "<path>: <reason>".
  static Status Error(std::string_view path, std::string_view reason,
                      Code code = kError) {
    return Status(std::string(path), std::string(reason), code);
  }
  // An error for the current errno value, as set by a failed system call.
  static Status FromErrno(std::string_view path, int error_number);

  bool ok() const { return code_ == kOk; }
  Code code() const { return code_; }
  // "<path>: <reason>", or empty when OK.
  std::string message() const { return !ok() ? path_ + ": " + reason_ : ""; }
  // The system's reason alone ("Permission denied").
  const std::string& reason() const { return reason_; }
  const std::string& path() const { return path_; }

 private:
  Status(std::string path, std::string reason, Code code)
      : code_(code), path_(std::move(path)), reason_(std::move(reason)) {}

  Code code_ = kOk;
  std::string path_;
  std::string reason_;
};

}  // namespace engine

#endif  // VANTREL_ENGINE_STATUS_H_
