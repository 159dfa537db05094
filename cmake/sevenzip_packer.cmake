# SPDX-License-Identifier: Apache-2.0
# The archive library for the packer: the stub's own 7z reader and codecs
# (the very sources of the sevenzip target) plus the 7z writer and the
# encoders of the same methods. The packer links only this one, so that the
# set of methods it accepts in a payload is exactly the stub's.
#
# Sources and their needs follow the library's own makefiles for the 7z
# format bundles (CPP/7zip/Bundles/Format7zR, Format7zF).

get_target_property(sevenzip_packer_sources sevenzip SOURCES)
get_target_property(sevenzip_packer_registry sevenzip_registry SOURCES)
add_library(sevenzip_packer STATIC
  ${sevenzip_packer_sources}
  ${sevenzip_packer_registry}
  # The library's own threading layer: the packer's threads need no
  # switch of the file-system redirection.
  ${sz_c}/Threads.c
  ${sz_cpp}/Common/LzFindPrepare.cpp
  ${sz_cpp}/Common/Wildcard.cpp
  ${sz_cpp}/7zip/Common/InOutTempBuffer.cpp
  ${sz_cpp}/7zip/Common/UniqBlocks.cpp
  ${sz_cpp}/7zip/Archive/Common/InStreamWithCRC.cpp
  ${sz_cpp}/7zip/Archive/7z/7zEncode.cpp
  ${sz_cpp}/7zip/Archive/7z/7zFolderInStream.cpp
  ${sz_cpp}/7zip/Archive/7z/7zHandlerOut.cpp
  ${sz_cpp}/7zip/Archive/7z/7zOut.cpp
  ${sz_cpp}/7zip/Archive/7z/7zProperties.cpp
  ${sz_cpp}/7zip/Archive/7z/7zUpdate.cpp
  ${sz_cpp}/7zip/Compress/Lzma2Encoder.cpp
  ${sz_cpp}/7zip/Compress/LzmaEncoder.cpp
  ${sz_cpp}/7zip/Compress/PpmdEncoder.cpp
  ${sz_cpp}/7zip/Crypto/RandGen.cpp
  ${sz_c}/Bcj2Enc.c
  ${sz_c}/LzFind.c
  ${sz_c}/LzFindMt.c
  ${sz_c}/LzFindOpt.c
  ${sz_c}/Lzma2Enc.c
  ${sz_c}/LzmaEnc.c
  ${sz_c}/MtCoder.c
  ${sz_c}/Ppmd7Enc.c)
target_include_directories(sevenzip_packer SYSTEM PUBLIC ${sz_cpp})
target_compile_options(sevenzip_packer PRIVATE -w -UWIN32_LEAN_AND_MEAN)
target_link_libraries(sevenzip_packer PUBLIC ole32 oleaut32 uuid)
