// SPDX-License-Identifier: Apache-2.0
// The stub's own file, held so that it stays the file this process was
// started from.
#pragma once

#include <windows.h>

#include <string>

#include "support/vm_handle.h"
#include "support/vm_status.h"

// A running program's file can be renamed away and another put under its
// name; Windows then starts the other one and the consent prompt shows its
// signature. Opened here with read access, sharing only reading, nobody can
// write, rename or delete the file while the handle is open: the first
// instance holds it from before the elevated start until the elevated
// instance has ended, and the elevated instance holds it from its start and
// reads its payload through it.
class InstallerFile {
 public:
  [[nodiscard]] velmora::VMStatus Open();

  [[nodiscard]] HANDLE Handle() const { return file_.get(); }
  [[nodiscard]] const std::wstring& Path() const { return path_; }
  // The path the held handle reaches, in its plain form where that names the
  // same file. The path the process was started by may run through a link
  // (a junction needs no privilege) that a standard user can retarget once
  // the file is open; this one has no link left on it, no SUBST drive and no
  // mapped drive letter, so it leads to the held file alone.
  [[nodiscard]] velmora::VMStatus FinalPath(std::wstring& path) const;

 private:
  std::wstring path_;
  velmora::VMUniqueFile file_;
};
