// The one way a file or device operation reports failure: a small result that
// is either success or a plain sentence for the user. The caller decides
// whether and where the sentence is printed.
#pragma once

#include <string>
#include <string_view>
#include <utility>

namespace varnow {

class [[nodiscard]] Status {
 public:
  static Status success() { return Status(); }
  // `err` is the errno behind the failure, where there is one.
  static Status failure(std::string sentence, int err = 0) {
    return Status(std::move(sentence), err);
  }

  bool ok() const { return !failed_; }
  explicit operator bool() const { return ok(); }
  // A complete sentence, ending with a full stop, without a trailing newline.
  const std::string& message() const { return message_; }
  // The errno behind a failed file operation; 0 for success and for
  // failures that have none.
  int error() const { return error_; }

 private:
  Status() = default;
  Status(std::string sentence, int err)
      : failed_(true), error_(err), message_(std::move(sentence)) {}
  bool failed_ = false;
  int error_ = 0;
  std::string message_;
};

// "Could not <action> <path>: <reason>." with the reason taken from errno value
// err; kNotRegularFile (core/regular_file.hpp) reads "it is not a regular file".
Status fileFailure(std::string_view action, std::string_view path, int err);

}  // namespace varnow
