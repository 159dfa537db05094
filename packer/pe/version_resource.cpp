// SPDX-License-Identifier: Apache-2.0
#include "packer/pe/version_resource.h"

#include <algorithm>
#include <array>

#include "support/vm_utf_convert.h"

using pe_resources::Bytes;
using velmora::VMStatus;
namespace status = velmora::status;

namespace {

constexpr std::uint16_t kVersionId = 1;
constexpr std::uint16_t kVersionLanguage = 1033;
constexpr std::size_t kValueLimit = 256;
constexpr const char16_t* kKeys[] = {u"ProductName",    u"CompanyName",    u"FileDescription",
                                     u"FileVersion",    u"ProductVersion", u"LegalCopyright"};
constexpr std::uint32_t kFixedSignature = 0xFEEF04BD;
constexpr std::size_t kFixedSize = 52;
// Fields of the fixed file information, counted in 32-bit words.
constexpr std::size_t kFileVersionWord = 2;
constexpr std::size_t kProductVersionWord = 4;

// The key in the 16-bit units the resource holds, whatever the width of
// wchar_t on this host.
std::u16string ToUtf16(std::wstring_view text) {
  std::u16string units;
  for (const wchar_t c : text) {
    auto code = static_cast<std::uint32_t>(c);
    if (code > 0xFFFF) {
      code -= 0x10000;
      units.push_back(static_cast<char16_t>(0xD800 + (code >> 10)));
      units.push_back(static_cast<char16_t>(0xDC00 + (code & 0x3FF)));
    } else {
      units.push_back(static_cast<char16_t>(code));
    }
  }
  return units;
}

// "1.2.3.4" as the fixed information's two words; missing parts are 0.
// Free text (anything but digits and dots) gives no numbers.
enum class VersionForm { Numbers, Text, Bad };
VersionForm ReadVersion(const std::u16string& text, std::array<std::uint32_t, 2>& words) {
  if (std::any_of(text.begin(), text.end(), [](char16_t c) { return c != u'.' && (c < u'0' || c > u'9'); })) {
    return VersionForm::Text;
  }
  std::array<std::uint32_t, 4> parts{};
  std::size_t part = 0;
  std::size_t digits = 0;
  for (const char16_t c : text) {
    if (c == u'.') {
      if (digits == 0 || ++part == parts.size()) return VersionForm::Bad;
      digits = 0;
      continue;
    }
    parts[part] = parts[part] * 10 + (c - u'0');
    if (++digits > 5 || parts[part] > 0xFFFF) return VersionForm::Bad;
  }
  if (digits == 0) return VersionForm::Bad;
  words = {parts[0] << 16 | parts[1], parts[2] << 16 | parts[3]};
  return VersionForm::Numbers;
}

// One node of the version resource: a key, a value (bytes, or text with its
// terminating NUL when Text) and the nodes within it.
struct Block {
  std::u16string Key;
  bool Text = false;
  Bytes Value;
  std::vector<Block> Children;
};

std::uint32_t Get16(const Bytes& b, std::size_t at) { return b[at] | b[at + 1] << 8; }
void Append16(Bytes& b, std::uint32_t v) {
  b.push_back(static_cast<std::uint8_t>(v));
  b.push_back(static_cast<std::uint8_t>(v >> 8));
}
std::size_t Align4(std::size_t at) { return (at + 3) & ~std::size_t{3}; }

bool ReadBlock(const Bytes& data, std::size_t at, std::size_t end, Block& block, int depth = 0) {
  if (depth > 4 || at + 6 > end) return false;
  const std::size_t length = Get16(data, at);
  const std::size_t valueLength = Get16(data, at + 2);
  const std::uint32_t type = Get16(data, at + 4);
  if (length < 6 || at + length > end || type > 1) return false;
  end = at + length;
  std::size_t cursor = at + 6;
  for (;; cursor += 2) {
    if (cursor + 2 > end) return false;
    const auto c = static_cast<char16_t>(Get16(data, cursor));
    if (c == 0) break;
    block.Key.push_back(c);
  }
  cursor = Align4(cursor + 2);
  block.Text = type == 1;
  const std::size_t valueBytes = block.Text ? valueLength * 2 : valueLength;
  if (cursor + valueBytes > end) return false;
  block.Value.assign(data.begin() + cursor, data.begin() + cursor + valueBytes);
  for (cursor = Align4(cursor + valueBytes); cursor < end; cursor = Align4(cursor)) {
    Block child;
    if (!ReadBlock(data, cursor, end, child, depth + 1)) return false;
    cursor += Get16(data, cursor);
    block.Children.push_back(std::move(child));
  }
  return true;
}

void WriteBlock(const Block& block, Bytes& out) {
  const std::size_t start = out.size();
  Append16(out, 0);
  Append16(out, static_cast<std::uint32_t>(block.Text ? block.Value.size() / 2 : block.Value.size()));
  Append16(out, block.Text ? 1 : 0);
  for (const char16_t c : block.Key) Append16(out, c);
  Append16(out, 0);
  out.resize(Align4(out.size()), 0);
  out.insert(out.end(), block.Value.begin(), block.Value.end());
  for (const Block& child : block.Children) {
    out.resize(Align4(out.size()), 0);
    WriteBlock(child, out);
  }
  const std::size_t length = out.size() - start;
  out[start] = static_cast<std::uint8_t>(length);
  out[start + 1] = static_cast<std::uint8_t>(length >> 8);
}

Bytes TextValue(const std::u16string& text) {
  Bytes value;
  for (const char16_t c : text) Append16(value, c);
  Append16(value, 0);
  return value;
}

Block* Child(Block& parent, const std::u16string& key) {
  for (Block& child : parent.Children) {
    if (child.Key == key) return &child;
  }
  return nullptr;
}

// What the resource holds when the image has none: an application for
// 32-bit Windows, texts in US English, Unicode.
Block DefaultVersion() {
  Block root{u"VS_VERSION_INFO", false, Bytes(kFixedSize, 0), {}};
  const std::uint32_t fixed[] = {kFixedSignature, 0x00010000, 0, 0, 0, 0, 0x3F, 0, 0x00040004, 1, 0, 0, 0};
  for (std::size_t i = 0; i < std::size(fixed); ++i) {
    for (int b = 0; b < 4; ++b) root.Value[i * 4 + b] = static_cast<std::uint8_t>(fixed[i] >> (8 * b));
  }
  root.Children.push_back({u"StringFileInfo", true, {}, {{u"040904B0", true, {}, {}}}});
  Block translation{u"Translation", false, {0x09, 0x04, 0xB0, 0x04}, {}};
  root.Children.push_back({u"VarFileInfo", true, {}, {translation}});
  return root;
}

Block ReadOrDefault(const pe_resources::PeImage& image) {
  const pe_resources::ResourceData* data = image.Find(pe_resources::kTypeVersion, kVersionId, kVersionLanguage);
  Block root;
  if (data != nullptr && ReadBlock(data->Data, 0, data->Data.size(), root) && root.Key == u"VS_VERSION_INFO" &&
      root.Value.size() == kFixedSize && Get16(root.Value, 0) == (kFixedSignature & 0xFFFF)) {
    Block* strings = Child(root, u"StringFileInfo");
    if (strings != nullptr && !strings->Children.empty()) return root;
  }
  return DefaultVersion();
}

}  // namespace

VMStatus AddVersionSetting(const std::wstring& word, std::vector<VersionSetting>& settings, std::wstring& error) {
  const std::size_t equals = word.find(L'=');
  const std::u16string key = ToUtf16(word.substr(0, equals));
  const bool known = std::any_of(std::begin(kKeys), std::end(kKeys), [&](const char16_t* k) { return key == k; });
  if (equals == std::wstring::npos || !known) {
    error = L"vm-sfxpack: error: --version-info takes KEY=VALUE with one of the keys ProductName, CompanyName, "
            L"FileDescription, FileVersion, ProductVersion, LegalCopyright, not \"" + word + L"\".";
    return status::InvalidValue;
  }
  const std::wstring name = word.substr(0, equals);
  VersionSetting setting{key, ToUtf16(word.substr(equals + 1))};
  if (setting.Value.empty() || setting.Value.size() > kValueLimit) {
    error = L"vm-sfxpack: error: --version-info " + name + L" needs a value of 1 to " + std::to_wstring(kValueLimit) +
            L" characters.";
    return status::InvalidValue;
  }
  // A control character would show in the file's properties as garbage, or
  // cut the text short.
  if (std::any_of(setting.Value.begin(), setting.Value.end(), [](char16_t c) { return c < 0x20 || c == 0x7F; }) ||
      !velmora::VMIsValidUtf16(word)) {
    error = L"vm-sfxpack: error: --version-info " + name + L" needs a value of Unicode text without control characters.";
    return status::InvalidValue;
  }
  std::array<std::uint32_t, 2> words{};
  if ((key == u"FileVersion" || key == u"ProductVersion") && ReadVersion(setting.Value, words) == VersionForm::Bad) {
    error = L"vm-sfxpack: error: --version-info " + name + L" \"" + word.substr(equals + 1) +
            L"\" is not a version: 1 to 4 numbers up to 65535 joined by dots.";
    return status::InvalidValue;
  }
  if (std::any_of(settings.begin(), settings.end(), [&](const VersionSetting& s) { return s.Key == key; })) {
    error = L"vm-sfxpack: error: --version-info " + name + L" is given twice.";
    return status::InvalidValue;
  }
  settings.push_back(std::move(setting));
  return status::Ok;
}

void SetVersionResource(pe_resources::PeImage& image, const std::vector<VersionSetting>& settings) {
  Block root = ReadOrDefault(image);
  Block& table = Child(root, u"StringFileInfo")->Children.front();
  for (const VersionSetting& setting : settings) {
    Block* string = Child(table, setting.Key);
    if (string == nullptr) string = &table.Children.emplace_back(Block{setting.Key, true, {}, {}});
    string->Value = TextValue(setting.Value);
    const bool file = setting.Key == u"FileVersion";
    std::array<std::uint32_t, 2> words{};
    if ((!file && setting.Key != u"ProductVersion") || ReadVersion(setting.Value, words) != VersionForm::Numbers) {
      continue;
    }
    const std::size_t at = (file ? kFileVersionWord : kProductVersionWord) * 4;
    for (std::size_t w = 0; w < 2; ++w) {
      for (int b = 0; b < 4; ++b) root.Value[at + w * 4 + b] = static_cast<std::uint8_t>(words[w] >> (8 * b));
    }
  }
  Bytes resource;
  WriteBlock(root, resource);
  image.RemoveAll(pe_resources::kTypeVersion);
  image.Set(pe_resources::kTypeVersion, kVersionId, kVersionLanguage, std::move(resource));
}
