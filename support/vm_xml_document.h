// SPDX-License-Identifier: Apache-2.0
// An XML document over tinyxml2 and the queries that read it as UTF-16 text
// with status codes. The rules here (which child nodes count, how booleans
// and numbers are written) are the rules of every document read through it.
//
// Element handles are plain pointers into the document: valid while it lives
// and unchanged. Every query accepts a null handle and answers MissingObject.
#pragma once

#include <tinyxml2.h>

#include <cstdint>
#include <string>
#include <vector>

#include "support/vm_status.h"

namespace velmora {

using VMXmlElement = const tinyxml2::XMLElement*;

class VMXmlDocument {
 public:
  // Entities are replaced and white space inside character data is kept as
  // written.
  VMXmlDocument();
  ~VMXmlDocument() = default;
  VMXmlDocument(const VMXmlDocument&) = delete;
  VMXmlDocument& operator=(const VMXmlDocument&) = delete;

  // FileOpenFailed when the file cannot be opened, FileNotXml when its
  // content is not a well-formed document.
  [[nodiscard]] VMStatus LoadFile(const std::wstring& path);
  // A NUL-terminated UTF-8 text; the document keeps its own copy. Null,
  // empty or not well-formed: XmlParseError, and the document is empty.
  [[nodiscard]] VMStatus Parse(const char* text);
  // Writes the document, indented, behind one UTF-8 declaration.
  // FileOpenFailed, FileWriteFailed, or Failed when the declaration cannot
  // be placed.
  [[nodiscard]] VMStatus SaveFile(const std::wstring& path);

  [[nodiscard]] tinyxml2::XMLDocument& Xml() { return document_; }
  [[nodiscard]] const tinyxml2::XMLDocument& Xml() const { return document_; }

  // Every child element of `element` named exactly `name` (letter case
  // counts), in document order. Finding none is no failure.
  [[nodiscard]] static VMStatus GetChildElements(VMXmlElement element, const char* name,
                                                 std::vector<VMXmlElement>& list);

  // The element's text: it must hold exactly one node, character data or a
  // CDATA section, taken verbatim. ElementEmpty for no node at all,
  // InvalidConfiguration for anything else. `text` keeps `defaultText` on
  // failure.
  [[nodiscard]] static VMStatus GetElementText(VMXmlElement element, std::wstring& text,
                                               const std::wstring& defaultText = {});

  // The element's text as "true" or "false" in any ASCII letter case, with
  // nothing around it. `value` keeps `defaultValue` on failure.
  [[nodiscard]] static VMStatus GetElementBool(VMXmlElement element, bool& value, bool defaultValue = false);

  // An unsigned decimal attribute: white space before the digits is
  // skipped, whatever follows them is ignored ("3.5" reads as 3). NotFound
  // for a missing attribute; InvalidConfiguration without a digit or for a
  // number beyond 32 bits. `value` is 0 on failure.
  [[nodiscard]] static VMStatus GetAttributeUnsigned(VMXmlElement element, const char* name,
                                                     std::uint32_t& value);

  // A boolean attribute under the rule of GetElementBool. NotFound for a
  // missing attribute. `value` is false on failure.
  [[nodiscard]] static VMStatus GetAttributeBool(VMXmlElement element, const char* name, bool& value);

  // UTF-8 to UTF-16. Bytes that are not valid UTF-8 are not an error: each
  // byte of such a text becomes one unit by sign extension (0xE4 -> 0xFFE4).
  [[nodiscard]] static std::wstring Utf8ToUtf16(const char* text);

 private:
  tinyxml2::XMLDocument document_;
};

}  // namespace velmora
