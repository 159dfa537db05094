// SPDX-License-Identifier: Apache-2.0
#include "packer/progress.h"

ProgressLine ProgressLine::ForStandardError(std::wstring action) {
  return ProgressLine(StandardErrorIsTerminal() ? Writer(&WriteStandardError) : Writer(), std::move(action));
}

void ProgressLine::SetTotal(std::uint64_t bytes, std::uint64_t files) {
  totalBytes_ = bytes;
  totalFiles_ = files;
  Show();
}

void ProgressLine::SetBytesDone(std::uint64_t bytes) {
  bytesDone_ = bytes;
  Show();
}

void ProgressLine::FileStarted() {
  ++filesDone_;
  Show();
}

void ProgressLine::Finish() {
  if (!write_ || shown_.empty()) return;
  write_(L"\r" + std::wstring(shown_.size(), L' ') + L"\r");
  shown_.clear();
}

void ProgressLine::Show() {
  if (!write_) return;
  std::wstring text = ProgressText(action_, bytesDone_, totalBytes_, filesDone_, totalFiles_);
  // Only a change is written: the library reports far more often than the
  // line changes.
  if (text == shown_) return;
  // A shorter line must cover all of the longer one before it.
  std::wstring padded = text;
  if (padded.size() < shown_.size()) padded.append(shown_.size() - padded.size(), L' ');
  write_(L"\r" + padded);
  shown_ = std::move(text);
}

std::wstring ProgressText(const std::wstring& action, std::uint64_t bytesDone, std::uint64_t totalBytes, std::uint64_t filesDone,
                          std::uint64_t totalFiles) {
  const std::uint64_t percent = totalBytes == 0 ? 100 : (bytesDone >= totalBytes ? 100 : bytesDone * 100 / totalBytes);
  std::wstring text = std::to_wstring(percent) + L"%";
  text.insert(0, 4 - text.size(), L' ');
  return action + L" " + text + L" of " + std::to_wstring(totalBytes) + L" bytes, file " +
         std::to_wstring(filesDone) + L" of " + std::to_wstring(totalFiles);
}
