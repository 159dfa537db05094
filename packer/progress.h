// SPDX-License-Identifier: Apache-2.0
// The line that shows how far a long packing run (or the test decode of
// --verify) has come. It is rewritten in
// place on a terminal and stays silent everywhere else, so that logs and
// pipes get only the summary.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

class ProgressLine {
 public:
  // Receives the text to put on the terminal as it stands (a carriage return
  // and the line). Without one the line stays silent.
  using Writer = std::function<void(const std::wstring&)>;
  explicit ProgressLine(Writer write = {}, std::wstring action = L"compressing")
      : write_(std::move(write)), action_(std::move(action)) {}
  ~ProgressLine() { Finish(); }
  ProgressLine(const ProgressLine&) = delete;
  ProgressLine& operator=(const ProgressLine&) = delete;

  // A line on the standard error stream when that is a terminal, else a
  // silent one.
  [[nodiscard]] static ProgressLine ForStandardError(std::wstring action = L"compressing");

  void SetTotal(std::uint64_t bytes, std::uint64_t files);
  void SetBytesDone(std::uint64_t bytes);
  void FileStarted();
  // Blanks the line, so that whatever is printed next starts on a clean one.
  void Finish();

 private:
  void Show();

  Writer write_;
  std::wstring action_;
  std::uint64_t totalBytes_ = 0;
  std::uint64_t totalFiles_ = 0;
  std::uint64_t bytesDone_ = 0;
  std::uint64_t filesDone_ = 0;
  std::wstring shown_;
};

// "compressing  42% of 3145728 bytes, file 17 of 40", `action` first.
[[nodiscard]] std::wstring ProgressText(const std::wstring& action, std::uint64_t bytesDone, std::uint64_t totalBytes,
                                        std::uint64_t filesDone, std::uint64_t totalFiles);

// Whether the standard error stream is a terminal (a console on Windows).
[[nodiscard]] bool StandardErrorIsTerminal();
// Writes `text` to the standard error stream unchanged.
void WriteStandardError(const std::wstring& text);
