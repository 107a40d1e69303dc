// FailureReport gathers the documents that a run had to leave, each with the
// reason in plain words and what became of it, and turns them into the one
// message that a window shows after the run.

#ifndef VANTREL_UI_WIDGETS_FAILURE_REPORT_H_
#define VANTREL_UI_WIDGETS_FAILURE_REPORT_H_

#include <cstddef>
#include <string>
#include <vector>

class FailureReport {
 public:
  // How many failures the message names; the rest are only counted.
  static constexpr std::size_t kNamedFailures = 20;

  void Add(std::string path, std::string what_happened);
  bool empty() const { return failures_.empty(); }
  std::size_t size() const { return failures_.size(); }

  // heading, the named failures one a line, how many more, then closing.
  std::string Message(const std::string& heading,
                      const std::string& closing) const;

 private:
  std::vector<std::string> failures_;
};

#endif  // VANTREL_UI_WIDGETS_FAILURE_REPORT_H_
