# SPDX-License-Identifier: Apache-2.0
# The 7z archive reader and the codecs the stub accepts, compiled from the
# 7-Zip sources of Debian's 7zip package (unpacked by scripts/setup).
#
# Extraction only: the 7z handler, LZMA, LZMA2, PPMd, the branch filters
# BCJ, BCJ2, PPC, IA64, ARM, ARMT, SPARC, ARM64 and RISCV, Delta, Swap2,
# Swap4, Copy, the 7zAES cipher and the CRC32, CRC64 and SHA256 hashers.
# ARM64 and RISCV are here because current 7-Zip applies them to such
# executables by default; without them a payload holding ARM64 binaries
# could not be unpacked.
#
# Handlers and codecs register themselves, and the checksum tables are made,
# by static objects that nothing refers to by name. Those objects are a
# library of their own, linked whole into every program (see sevenzip_link
# below); the rest is an ordinary library, so the linker takes only the parts
# that the registered ones need.

set(sevenzip_dir ${VM_DEPS_DIR}/7zip)
if(NOT EXISTS ${sevenzip_dir}/CPP/7zip/Archive/7z/7zHandler.cpp)
  message(FATAL_ERROR "7-Zip sources missing in ${sevenzip_dir}: run scripts/setup")
endif()

set(sz_cpp ${sevenzip_dir}/CPP)

# The interface and class identifiers are defined once, in a file made here
# that includes the interface headers with INITGUID in effect.
set(sevenzip_guids ${CMAKE_BINARY_DIR}/sevenzip_guids.cpp)
file(CONFIGURE OUTPUT ${sevenzip_guids} CONTENT [[
#include "Common/MyInitGuid.h"
#include "7zip/Archive/IArchive.h"
#include "7zip/ICoder.h"
#include "7zip/IPassword.h"
#include "7zip/IProgress.h"
#include "7zip/IStream.h"
#include "7zip/PropID.h"

// The base of the handlers' class identifiers; the format id goes into
// byte 13 (the 7z handler's is 7).
Z7_DEFINE_GUID(CLSID_CArchiveHandler,
    k_7zip_GUID_Data1, k_7zip_GUID_Data2, k_7zip_GUID_Data3_Common,
    0x10, 0x00, 0x00, 0x01, 0x10, 0x00, 0x00, 0x00);
]])
set(sz_c ${sevenzip_dir}/C)

# The loops that take most of the decoding time (the LZMA decoder, the CRC
# and the x86 branch filter) come from Debian's clang for the same target:
# its code for them takes about a tenth less
# processor time than GCC 12's at -O2 or -O3 (test-mode decoding of the
# installer-like benchmark payload), with or without GCC's profile-guided
# optimisation. Its -Os code for them is as fast as its -O2 code and 1.5 KB
# smaller; docs/performance.md lists what else was tried. The objects are
# linked by the same toolchain against the same runtime; they need nothing
# from it but memcpy. A build without clang would make a different, slower
# stub, so it is needed.
find_program(VM_DECODER_CLANG NAMES clang-14 clang REQUIRED)
set(sz_decoder_loops)
foreach(name 7zCrc 7zCrcOpt Bra86 LzmaDec)
  if(VM_DECODER_CLANG AND CMAKE_SYSTEM_NAME STREQUAL "Windows")
    set(object ${CMAKE_BINARY_DIR}/decoder_loops/${name}.c.obj)
    add_custom_command(OUTPUT ${object}
      COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/decoder_loops
      COMMAND ${VM_DECODER_CLANG} --target=i686-w64-mingw32 -Os -ffunction-sections -w -DNOMINMAX -DUNICODE
              -D_UNICODE -D_WIN32_WINNT=0x0A00 -isystem ${sz_cpp} -c ${sz_c}/${name}.c -o ${object}
      DEPENDS ${sz_c}/${name}.c
      COMMENT "Building the decoding loop ${name}.c with clang"
      VERBATIM)
    list(APPEND sz_decoder_loops ${object})
  else()
    list(APPEND sz_decoder_loops ${sz_c}/${name}.c)
  endif()
endforeach()

add_library(sevenzip STATIC
  ${sz_cpp}/Common/IntToString.cpp
  ${sz_cpp}/Common/MyString.cpp
  ${sz_cpp}/Common/MyVector.cpp
  ${sz_cpp}/Common/NewHandler.cpp
  ${sz_cpp}/Common/StringConvert.cpp
  ${sz_cpp}/Common/StringToInt.cpp

  ${sz_cpp}/Windows/FileDir.cpp
  ${sz_cpp}/Windows/FileFind.cpp
  ${sz_cpp}/Windows/FileIO.cpp
  ${sz_cpp}/Windows/FileName.cpp
  ${sz_cpp}/Windows/PropVariant.cpp
  ${sz_cpp}/Windows/Synchronization.cpp
  ${sz_cpp}/Windows/System.cpp
  ${sz_cpp}/Windows/TimeUtils.cpp

  ${sz_cpp}/7zip/Common/CreateCoder.cpp
  ${sz_cpp}/7zip/Common/CWrappers.cpp
  ${sz_cpp}/7zip/Common/FileStreams.cpp
  ${sz_cpp}/7zip/Common/FilterCoder.cpp
  ${sz_cpp}/7zip/Common/InBuffer.cpp
  ${sz_cpp}/7zip/Common/LimitedStreams.cpp
  ${sz_cpp}/7zip/Common/MethodId.cpp
  ${sz_cpp}/7zip/Common/MethodProps.cpp
  ${sz_cpp}/7zip/Common/OutBuffer.cpp
  ${sz_cpp}/7zip/Common/ProgressUtils.cpp
  ${sz_cpp}/7zip/Common/PropId.cpp
  ${sz_cpp}/7zip/Common/StreamBinder.cpp
  ${sz_cpp}/7zip/Common/StreamObjects.cpp
  ${sz_cpp}/7zip/Common/StreamUtils.cpp
  ${sz_cpp}/7zip/Common/VirtThread.cpp

  ${sz_cpp}/7zip/Archive/ArchiveExports.cpp
  ${sz_cpp}/7zip/Archive/Common/CoderMixer2.cpp
  ${sz_cpp}/7zip/Archive/Common/HandlerOut.cpp
  ${sz_cpp}/7zip/Archive/Common/ItemNameUtils.cpp
  ${sz_cpp}/7zip/Archive/Common/OutStreamWithCRC.cpp
  ${sz_cpp}/7zip/Archive/Common/ParseProperties.cpp
  ${sz_cpp}/7zip/Archive/7z/7zCompressionMode.cpp
  ${sz_cpp}/7zip/Archive/7z/7zDecode.cpp
  ${sz_cpp}/7zip/Archive/7z/7zExtract.cpp
  ${sz_cpp}/7zip/Archive/7z/7zHandler.cpp
  ${sz_cpp}/7zip/Archive/7z/7zHeader.cpp
  ${sz_cpp}/7zip/Archive/7z/7zIn.cpp

  ${sz_cpp}/7zip/Compress/Bcj2Coder.cpp
  ${sz_cpp}/7zip/Compress/BcjCoder.cpp
  ${sz_cpp}/7zip/Compress/BranchMisc.cpp
  ${sz_cpp}/7zip/Compress/CopyCoder.cpp
  ${sz_cpp}/7zip/Compress/Lzma2Decoder.cpp
  ${sz_cpp}/7zip/Compress/LzmaDecoder.cpp
  ${sz_cpp}/7zip/Compress/PpmdDecoder.cpp

  ${sz_cpp}/7zip/Crypto/7zAes.cpp
  ${sz_cpp}/7zip/Crypto/MyAes.cpp

  ${sz_decoder_loops}
  ${sz_c}/7zStream.c
  ${sz_c}/Aes.c
  ${sz_c}/AesOpt.c
  ${sz_c}/Alloc.c
  ${sz_c}/Bcj2.c
  ${sz_c}/Bra.c
  ${sz_c}/BraIA64.c
  ${sz_c}/CpuArch.c
  ${sz_c}/Delta.c
  ${sz_c}/Lzma2Dec.c
  ${sz_c}/Lzma2DecMt.c
  ${sz_c}/MtDec.c
  ${sz_c}/Ppmd7.c
  ${sz_c}/Ppmd7Dec.c
  ${sz_c}/Sha256.c
  ${sz_c}/Sha256Opt.c
  ${sz_c}/SwapBytes.c
  ${sz_c}/XzCrc64.c
  ${sz_c}/XzCrc64Opt.c
  ${sevenzip_guids})
add_library(sevenzip_registry STATIC
  ${sz_cpp}/Common/CRC.cpp
  ${sz_cpp}/Common/Sha256Prepare.cpp
  ${sz_cpp}/Common/XzCrc64Init.cpp
  ${sz_cpp}/Common/CrcReg.cpp
  ${sz_cpp}/Common/Sha256Reg.cpp
  ${sz_cpp}/Common/XzCrc64Reg.cpp
  ${sz_cpp}/7zip/Archive/7z/7zRegister.cpp
  ${sz_cpp}/7zip/Compress/Bcj2Register.cpp
  ${sz_cpp}/7zip/Compress/BcjRegister.cpp
  ${sz_cpp}/7zip/Compress/BranchRegister.cpp
  ${sz_cpp}/7zip/Compress/ByteSwap.cpp
  ${sz_cpp}/7zip/Compress/CopyRegister.cpp
  ${sz_cpp}/7zip/Compress/DeltaFilter.cpp
  ${sz_cpp}/7zip/Compress/Lzma2Register.cpp
  ${sz_cpp}/7zip/Compress/LzmaRegister.cpp
  ${sz_cpp}/7zip/Compress/PpmdRegister.cpp
  ${sz_cpp}/7zip/Crypto/7zAesRegister.cpp)
target_link_libraries(sevenzip_registry PUBLIC sevenzip)
target_include_directories(sevenzip SYSTEM PUBLIC ${sz_cpp})
# Multi-threaded: LZMA2 blocks and the coders of one folder are decoded on
# threads of the library's own, which also write into the extraction
# callback. The library's threading layer is not its C/Threads.c but the
# stub's payload/archive_threads.cpp (linked by the main build file), which
# starts every such thread with WOW64 redirection off, so that files meant
# for the real system folder never land in SysWOW64.
#
# The library's reduced reader (Z7_SFX) keeps only what unpacking needs: one
# coder mixer, the multi-threaded one, instead of both; no method and block
# names for listings (7zProperties.cpp is the packer's alone); no attempt to
# rebuild an archive whose start header is missing; no AES in counter mode.
# Z7_7Z_SET_PROPERTIES keeps the handler's thread and memory settings, which
# that reader otherwise leaves out. Together they take about 21 KB off the stub.
target_compile_definitions(sevenzip PUBLIC Z7_EXTRACT_ONLY Z7_SFX Z7_7Z_SET_PROPERTIES)
# The library is not our code: our warning set stays off; -w keeps the build
# log readable. It needs the OLE declarations that the lean Windows headers
# leave out. It never asks for a type at run time (no dynamic_cast, no
# typeid), so its classes carry no type information beyond what its
# exceptions need.
target_compile_options(sevenzip_registry PRIVATE -w -UWIN32_LEAN_AND_MEAN ${VM_STUB_LTO} -fno-rtti)
target_compile_options(sevenzip PRIVATE -w -UWIN32_LEAN_AND_MEAN ${VM_STUB_LTO}
  $<$<COMPILE_LANGUAGE:C>:-fno-asynchronous-unwind-tables> $<$<COMPILE_LANGUAGE:CXX>:-fno-rtti>)

# The loops every byte of a payload passes through are built for speed: the
# rest of the stub is built for size. They stay out of the link-time
# optimisation, which otherwise gives the stub slower decoding loops
# (about 8 % more processor time on an installer-like payload) and 2 KB
# more code; they share no inline functions with the C++ code.
set_source_files_properties(
  ${sz_c}/7zCrc.c ${sz_c}/7zCrcOpt.c ${sz_c}/Bcj2.c ${sz_c}/Bra.c ${sz_c}/Bra86.c
  ${sz_c}/Delta.c ${sz_c}/Lzma2Dec.c ${sz_c}/LzmaDec.c ${sz_c}/Ppmd7.c ${sz_c}/Ppmd7Dec.c
  PROPERTIES COMPILE_OPTIONS "-O2;-fno-lto")

# Links the library into TARGET (and, with PUBLIC, into everything that links
# TARGET), the registering objects whole, so that the linker cannot drop the
# self-registering handler and codecs.
function(sevenzip_link target scope)
  target_link_libraries(${target} ${scope} "$<LINK_LIBRARY:WHOLE_ARCHIVE,sevenzip_registry>" sevenzip)
endfunction()
