// SPDX-License-Identifier: Apache-2.0
// The XML layer: which content counts as a text value, how booleans and
// numbers are read, the UTF-16 conversion, and files in and out.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "support/vm_xml_document.h"
#include "tests/tools/temp_folder.h"

namespace {

using velmora::VMStatus;
using velmora::VMXmlDocument;
using velmora::VMXmlElement;

namespace status = velmora::status;

// The document element of `text`, which must parse.
VMXmlElement Root(VMXmlDocument& document, const std::string& text) {
  EXPECT_EQ(document.Parse(text.c_str()), status::Ok) << text;
  return document.Xml().RootElement();
}


std::string ReadAll(const std::wstring& path) {
  std::string content;
  if (std::FILE* file = _wfopen(path.c_str(), L"rb")) {
    char buffer[4096];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof(buffer), file)) > 0;) content.append(buffer, n);
    std::fclose(file);
  }
  return content;
}

void WriteAll(const std::wstring& path, const std::string& content) {
  std::FILE* file = _wfopen(path.c_str(), L"wb");
  ASSERT_NE(file, nullptr);
  std::fwrite(content.data(), 1, content.size(), file);
  std::fclose(file);
}

TEST(VMXmlDocument, ElementText) {
  struct Row {
    const char* Name;
    std::string Xml;
    VMStatus Status;
    std::wstring Text = L"(default)";
  };
  const Row rows[] = {
      {"plain character data", "<e>plain</e>", status::Ok, L"plain"},
      {"white space around character data belongs to it", "<e> a \r\n b\t</e>", status::Ok, L" a \n b\t"},
      {"entities and character references are replaced", "<e>&lt;&amp;&#228;&#x10437;</e>", status::Ok,
       L"<&\u00E4\xD801\xDC37"},
      {"a CDATA section on its own line", "<e>\n  <![CDATA[ <b>x</b> ]]>\n</e>", status::Ok, L" <b>x</b> "},
      {"no reference inside CDATA", "<e><![CDATA[&#0;]]></e>", status::Ok, L"&#0;"},
      {"no reference inside a comment", "<e>&#9;&#xD;<!-- &#0; --></e>", status::InvalidConfiguration},
      {"the lowest and highest characters allowed", "<e>&#x9;&#x10FFFF;</e>", status::Ok, L"\t\xDBFF\xDFFF"},
      {"UTF-8 text becomes UTF-16", "<e>Gr\xC3\xBC\xC3\x9F""e</e>", status::Ok, L"Gr\u00FC\u00DFe"},
      {"self-closed", "<e/>", status::ElementEmpty},
      {"open and closed with nothing between", "<e></e>", status::ElementEmpty},
      {"white space alone forms no node", "<e>  \n  </e>", status::ElementEmpty},
      {"only a comment", "<e><!-- c --></e>", status::InvalidConfiguration},
      {"text and a comment", "<e>a<!-- c -->b</e>", status::InvalidConfiguration},
      {"two CDATA sections", "<e><![CDATA[a]]><![CDATA[b]]></e>", status::InvalidConfiguration},
      {"a child element", "<e><x>a</x></e>", status::InvalidConfiguration},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.Name);
    VMXmlDocument document;
    std::wstring text;
    EXPECT_EQ(VMXmlDocument::GetElementText(Root(document, row.Xml), text, L"(default)"), row.Status);
    EXPECT_EQ(text, row.Text) << "the default stays on failure";
  }
}

TEST(VMXmlDocument, Booleans) {
  struct Row {
    const char* Value;
    VMStatus Status;
    bool Result = true;  // the default, kept on failure
  };
  const Row rows[] = {
      {"true", status::Ok, true},   {"TRUE", status::Ok, true},  {"False", status::Ok, false}, {"fAlSe", status::Ok, false},
      {"yes", status::InvalidConfiguration},   {"1", status::InvalidConfiguration},    {"true ", status::InvalidConfiguration}, {" True", status::InvalidConfiguration},
      {"tru", status::InvalidConfiguration},   {"truee", status::InvalidConfiguration}, {"\xC5\xA3rue", status::InvalidConfiguration},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.Value);
    VMXmlDocument document;
    VMXmlElement element = Root(document, std::string("<e a=\"") + row.Value + "\">" + row.Value + "</e>");
    bool value = false;
    EXPECT_EQ(VMXmlDocument::GetElementBool(element, value, true), row.Status) << "element text";
    EXPECT_EQ(value, row.Result);
    value = true;
    EXPECT_EQ(VMXmlDocument::GetAttributeBool(element, "a", value), row.Status) << "attribute";
    EXPECT_EQ(value, row.Status == status::Ok && row.Result);
  }
  VMXmlDocument document;
  VMXmlElement element = Root(document, "<e a='true'/>");
  bool value = true;
  EXPECT_EQ(VMXmlDocument::GetElementBool(element, value, true), status::ElementEmpty);
  EXPECT_TRUE(value);
  EXPECT_EQ(VMXmlDocument::GetAttributeBool(element, "A", value), status::NotFound) << "attribute names keep their case";
  EXPECT_FALSE(value);
}

TEST(VMXmlDocument, UnsignedAttribute) {
  struct Row {
    const char* Value;
    VMStatus Status;
    std::uint32_t Result = 0;
  };
  const Row rows[] = {
      {"3", status::Ok, 3},
      {" 3", status::Ok, 3},
      {"\t\n 17", status::Ok, 17},
      {"3abc", status::Ok, 3},
      {"3.5", status::Ok, 3},
      {"007", status::Ok, 7},
      {"4294967295", status::Ok, 4294967295u},
      {"abc", status::InvalidConfiguration},
      {"", status::InvalidConfiguration},
      {"-1", status::InvalidConfiguration},
      {"+3", status::InvalidConfiguration},
      {"4294967296", status::InvalidConfiguration},
      {"4294967299", status::InvalidConfiguration},
      {"99999999999999999999", status::InvalidConfiguration},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.Value);
    VMXmlDocument document;
    std::uint32_t value = 12345;
    EXPECT_EQ(VMXmlDocument::GetAttributeUnsigned(Root(document, std::string("<e n='") + row.Value + "'/>"), "n",
                                                  value),
              row.Status);
    EXPECT_EQ(value, row.Result);
  }
  VMXmlDocument document;
  std::uint32_t value = 12345;
  EXPECT_EQ(VMXmlDocument::GetAttributeUnsigned(Root(document, "<e N='3'/>"), "n", value), status::NotFound);
  EXPECT_EQ(value, 0u);
}

TEST(VMXmlDocument, NullHandles) {
  std::wstring text;
  bool flag = false;
  std::uint32_t number = 0;
  std::vector<VMXmlElement> list{nullptr};
  EXPECT_EQ(VMXmlDocument::GetElementText(nullptr, text), status::MissingObject);
  EXPECT_EQ(VMXmlDocument::GetElementBool(nullptr, flag), status::MissingObject);
  EXPECT_EQ(VMXmlDocument::GetAttributeUnsigned(nullptr, "n", number), status::MissingObject);
  EXPECT_EQ(VMXmlDocument::GetAttributeBool(nullptr, "n", flag), status::MissingObject);
  EXPECT_EQ(VMXmlDocument::GetChildElements(nullptr, "n", list), status::MissingObject);
  EXPECT_TRUE(list.empty());
}

TEST(VMXmlDocument, ChildElementsByExactName) {
  VMXmlDocument document;
  VMXmlElement root = Root(document, "<r><a i='1'/><b/><A/><a i='2'>x</a><!-- a --><a i='3'/></r>");
  std::vector<VMXmlElement> found{nullptr};
  ASSERT_EQ(VMXmlDocument::GetChildElements(root, "a", found), status::Ok);
  ASSERT_EQ(found.size(), 3u);
  EXPECT_STREQ(found[0]->Attribute("i"), "1");
  EXPECT_STREQ(found[1]->Attribute("i"), "2");
  EXPECT_STREQ(found[2]->Attribute("i"), "3");
  EXPECT_EQ(VMXmlDocument::GetChildElements(root, "B", found), status::Ok) << "no match is no failure";
  EXPECT_TRUE(found.empty()) << "letter case counts";
}

TEST(VMXmlDocument, Utf8ToUtf16) {
  EXPECT_EQ(VMXmlDocument::Utf8ToUtf16("\xC3\xA4"), L"\u00E4");
  EXPECT_EQ(VMXmlDocument::Utf8ToUtf16("\xF0\x90\x90\xB7"), L"\xD801\xDC37");
  EXPECT_EQ(VMXmlDocument::Utf8ToUtf16("\xE4"), std::wstring(1, L'\xFFE4')) << "a lone byte is sign-extended";
  EXPECT_EQ(VMXmlDocument::Utf8ToUtf16("a\x7F\x80\xFF"), (std::wstring{L'a', L'\x7F', L'\xFF80', L'\xFFFF'}))
      << "one invalid byte turns the whole text byte by byte";
  EXPECT_EQ(VMXmlDocument::Utf8ToUtf16("\xC3\xA4\xE4"), (std::wstring{L'\xFFC3', L'\xFFA4', L'\xFFE4'}));
  EXPECT_EQ(VMXmlDocument::Utf8ToUtf16(""), L"");
  EXPECT_EQ(VMXmlDocument::Utf8ToUtf16(nullptr), L"");
}

TEST(VMXmlDocument, ParseFailuresLeaveAnEmptyDocument) {
  const char* texts[] = {nullptr, "", "<a>", "<a></b>", "text", "<a x='1' x='2'/>", "<a/><?xml version='1.0'?>",
                         // References to characters XML does not allow; NUL would cut the value.
                         "<a>x&#0;y</a>", "<a b='x&#x00;y'/>", "<a>&#;</a>", "<a>&#x;</a>", "<a>&#4294967361;</a>",
                         "<a>&#1;</a>", "<a>&#xD800;</a>", "<a>&#xFFFE;</a>", "<a>&#x110000;</a>"};
  for (const char* text : texts) {
    SCOPED_TRACE(text != nullptr ? text : "(null)");
    VMXmlDocument document;
    ASSERT_EQ(document.Parse("<old/>"), status::Ok);
    EXPECT_EQ(document.Parse(text), status::XmlParseError);
    EXPECT_EQ(document.Xml().FirstChild(), nullptr);
  }
  VMXmlDocument document;
  EXPECT_EQ(document.Parse("\xEF\xBB\xBF<?xml version='1.0' encoding='ISO-8859-1'?>\n<a/>"), status::Ok)
      << "a byte-order mark and any declared encoding are accepted";
}

TEST(VMXmlDocument, FilesInAndOut) {
  const testing_tools::TempFolder folder;
  const std::wstring path = folder / L"doc.xml";
  WriteAll(path, "<?xml version='1.0'?>\n<r><e>caf\xC3\xA9 &amp; more</e></r>");

  VMXmlDocument document;
  ASSERT_EQ(document.LoadFile(path), status::Ok);
  // Saved twice, loaded with a declaration of its own: still one declaration.
  ASSERT_EQ(document.SaveFile(path), status::Ok);
  ASSERT_EQ(document.SaveFile(path), status::Ok);
  const std::string saved = ReadAll(path);
  EXPECT_EQ(saved.rfind("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<r>\n    <e>", 0), 0u) << saved;
  EXPECT_EQ(saved.find("<?xml", 1), std::string::npos) << saved;

  VMXmlDocument again;
  ASSERT_EQ(again.LoadFile(path), status::Ok);
  std::wstring text;
  ASSERT_EQ(VMXmlDocument::GetElementText(again.Xml().RootElement()->FirstChildElement("e"), text), status::Ok);
  EXPECT_EQ(text, L"caf\u00E9 & more");

  WriteAll(path, "<r>");
  EXPECT_EQ(again.LoadFile(path), status::FileNotXml);
  WriteAll(path, "");
  EXPECT_EQ(again.LoadFile(path), status::FileNotXml);
  DeleteFileW(path.c_str());
  EXPECT_EQ(again.LoadFile(path), status::FileOpenFailed);
  EXPECT_EQ(document.SaveFile(folder / L"no-such-folder\\doc.xml"), status::FileOpenFailed);
}

TEST(VMXmlDocument, AFullDiskIsAWriteFailure) {
  // Wine maps Z: to the Unix root, where /dev/full opens but refuses every
  // write with "no space left".
  VMXmlDocument document;
  ASSERT_EQ(document.Parse("<r>text</r>"), status::Ok);
  const VMStatus saved = document.SaveFile(L"Z:\\dev\\full");
  if (saved == status::FileOpenFailed) GTEST_SKIP() << "no /dev/full to write to";
  EXPECT_EQ(saved, status::FileWriteFailed);
}

}  // namespace
