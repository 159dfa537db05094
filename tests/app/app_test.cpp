// The run sequence in-process: what a stub without a configuration document
// decides before any task runs.
#include <gtest/gtest.h>

#include <windows.h>

#include "app/app.h"
#include "app/cmd_line.h"
#include "app/error_message.h"
#include "config/cfg.h"
#include "tasks/extract_files.h"

namespace {

std::wstring CurrentFolder() {
  wchar_t buffer[MAX_PATH] = {};
  GetCurrentDirectoryW(MAX_PATH, buffer);
  return buffer;
}

class RunSequence : public ::testing::Test {
 protected:
  void TearDown() override { CmdLine::Current() = {}; }
};

TEST_F(RunSequence, WithoutDocumentUnpacksIntoTheWorkingFolderWithProgress) {
  App app(GetModuleHandleW(nullptr));
  std::uint32_t exitCode = 7;
  const velmora::VMStatus result = app.Run(exitCode);

  EXPECT_EQ(TheCfg().Title, L"app_tests Self Extractor");
  ASSERT_EQ(app.Tasks().size(), 1u);
  const auto* extract = dynamic_cast<const ExtractFiles*>(app.Tasks()[0].get());
  ASSERT_NE(extract, nullptr);
  EXPECT_EQ(extract->GetTargetFolder(), CurrentFolder());
  EXPECT_FALSE(extract->HideProgress);
  EXPECT_EQ(extract->MinimumDurationMs, 0u);
  EXPECT_EQ(extract->Description, L"Files are being extracted. Please wait...");
  // Unpacking is not built yet, and the run must not claim it happened.
  EXPECT_EQ(result, static_cast<velmora::VMStatus>(ERROR_CALL_NOT_IMPLEMENTED));
  EXPECT_EQ(exitCode, 0u);
}

TEST_F(RunSequence, CommandLineDecidesTargetAndProgress) {
  CmdLine::Current().GuiMode = CmdLine::SFXGuiMode::Off;
  CmdLine::Current().TargetPath = L"C:\\Unpacked";
  App app(GetModuleHandleW(nullptr));
  std::uint32_t exitCode = 0;
  (void)app.Run(exitCode);
  ASSERT_EQ(app.Tasks().size(), 1u);
  EXPECT_EQ(app.Tasks()[0]->GetTargetFolder(), L"C:\\Unpacked");
  EXPECT_TRUE(app.Tasks()[0]->HideProgress) << "--gui off hides the progress dialog";
}

TEST(ErrorMessages, EachStatusGetsItsText) {
  struct Row {
    const char* Name;
    velmora::VMStatus Status;
    const wchar_t* Text;
  };
  const Row rows[] = {
      {"success", 0, L""},
      {"cancel", 0xEE000005, L""},
      {"elevation refused", 0xEE002006, L""},
      {"platform", 0xEE002004, L"The current platform is not supported."},
      {"access denied", 5, L"Administrator privileges required."},
      {"access denied HRESULT", 0x80070005, L"Administrator privileges required."},
      {"command line", 0xEE002003, L"The command line arguments are invalid."},
      {"directory", 267, L"The directory name is invalid."},
      {"own code", 0xEE000051, L"The execution was aborted due to an error."},
      {"unknown code", 0x12345678, L"The execution was aborted due to an error."},
      {"own directory code is not the Windows one", 0xEE002005, L"The execution was aborted due to an error."},
  };
  for (const Row& row : rows) {
    EXPECT_STREQ(ErrorMessageText(row.Status), row.Text) << row.Name;
  }
}

}  // namespace
