#include "ui/widgets/failure_report.h"

void FailureReport::Add(std::string path, std::string what_happened) {
  failures_.push_back(std::move(path) + ": " + std::move(what_happened));
}

std::string FailureReport::Message(const std::string& heading,
                                   const std::string& closing) const {
  std::string message = heading + "\n";
  std::size_t named = 0;
  for (const std::string& failure : failures_) {
    if (named == kNamedFailures) break;
    message += "\n" + failure;
    ++named;
  }
  if (failures_.size() > named) {
    message +=
        "\n... and " + std::to_string(failures_.size() - named) + " more.";
  }
  message += "\n\n" + closing;
  return message;
}
