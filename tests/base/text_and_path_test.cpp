// UTF conversions, the shell-like path helpers and wildcard matching.
#include <gtest/gtest.h>

#include <string>

#include "base/file_finder.h"
#include "base/long_path.h"
#include "base/path.h"
#include "base/unicode.h"

namespace kiv {
namespace {

// "設定" followed by U+20B9F, a character outside the Basic Multilingual Plane.
const std::wstring kJapanese = L"設定\U00020B9F";

TEST(Unicode, ConvertsJapaneseAndAstralCharacters) {
  EXPECT_EQ(WideToUtf8(kJapanese), "\xE8\xA8\xAD\xE5\xAE\x9A\xF0\xA0\xAE\x9F");
  EXPECT_EQ(Utf8ToWide(WideToUtf8(kJapanese)), kJapanese);
  EXPECT_EQ(WideToUtf16(kJapanese), u"設定\U00020B9F");
  EXPECT_EQ(WideToUtf16(kJapanese).size(), 4u);  // a surrogate pair at the end
  EXPECT_EQ(Utf16ToWide(u"設定\U00020B9F"), kJapanese);
}

TEST(Unicode, KeepsMalformedInputThroughARoundTrip) {
  // Stray continuation byte, truncated sequence, overlong slash, encoded surrogate.
  for (const std::string bytes : {"a\x80z", "\xE8\xA8", "\xC0\xAF", "\xED\xA0\x80"}) {
    const std::wstring wide = Utf8ToWide(bytes);
    EXPECT_EQ(wide.find(L'/'), std::wstring::npos);
    if (sizeof(wchar_t) == 4) {
      EXPECT_EQ(WideToUtf8(wide), bytes);
    }
  }
  // A lone high surrogate in UTF-16 survives the trip through a wide string.
  const std::u16string lone = {u'a', 0xD800, u'b'};
  EXPECT_EQ(WideToUtf16(Utf16ToWide(lone)), lone);
}

TEST(Unicode, FoldsLettersOfCommonScriptsOnly) {
  EXPECT_EQ(FoldCase(L'a'), FoldCase(L'A'));
  EXPECT_EQ(FoldCase(L'é'), FoldCase(L'É'));
  EXPECT_EQ(FoldCase(L'ж'), FoldCase(L'Ж'));
  EXPECT_EQ(FoldCase(L'ｂ'), FoldCase(L'Ｂ'));
  EXPECT_EQ(FoldCase(L'設'), L'設');
  EXPECT_NE(FoldCase(L'['), FoldCase(L'{'));
}

std::wstring P(const std::wstring& slashed) {
  std::wstring path = slashed;
  for (wchar_t& c : path) {
    if (c == L'/') {
      c = kPathSeparator;
    }
  }
  return path;
}

TEST(PathHelpers, FindNameAndExtensionLikeTheShell) {
  EXPECT_EQ(FindFileName(P(L"/d/a.bmp")), L"a.bmp");
  EXPECT_EQ(FindFileName(L"a.bmp"), L"a.bmp");
  EXPECT_EQ(FindFileName(P(L"/d/sub/")), P(L"sub/"));
  EXPECT_EQ(FindExtension(P(L"/d/a.tar.gz")), L".gz");
  EXPECT_EQ(FindExtension(P(L"/d.x/c")), L"");
  EXPECT_EQ(FindExtension(P(L"/d/a.b c")), L"");
  EXPECT_EQ(FindExtension(P(L"/d/.profile")), L".profile");
  EXPECT_EQ(RemoveExtension(P(L"/d.x/photo.JPG")), P(L"/d.x/photo"));
}

TEST(PathHelpers, RenameExtensionReplacesOrAppends) {
  EXPECT_EQ(RenameExtension(P(L"/d/Photo.JPG"), L".png"), P(L"/d/Photo.png"));
  EXPECT_EQ(RenameExtension(P(L"/d/photo"), L".png"), P(L"/d/photo.png"));
  EXPECT_EQ(RenameExtension(P(L"/a.b/c"), L".png"), P(L"/a.b/c.png"));
  EXPECT_EQ(RenameExtension(P(L"/d/") + kJapanese + L".bmp", L".png"),
            P(L"/d/") + kJapanese + L".png");
  // A long path must never come back unchanged: the output would be the source.
  const std::wstring deep = P(L"/") + std::wstring(300, L'x') + L".bmp";
  EXPECT_EQ(RenameExtension(deep, L".png"), P(L"/") + std::wstring(300, L'x') + L".png");
}

TEST(PathHelpers, AddSeparatorAndRemoveFileSpec) {
  EXPECT_EQ(AddSeparator(L""), L"");
  EXPECT_EQ(AddSeparator(P(L"/d")), P(L"/d/"));
  EXPECT_EQ(AddSeparator(P(L"/d/")), P(L"/d/"));
  EXPECT_EQ(RemoveFileSpec(P(L"/a/b.bmp")), P(L"/a"));
  EXPECT_EQ(RemoveFileSpec(P(L"/b.bmp")), P(L"/"));
  EXPECT_EQ(RemoveFileSpec(P(L"/")), P(L"/"));
  EXPECT_EQ(RemoveFileSpec(L"b.bmp"), L"");
#ifdef _WIN32
  EXPECT_EQ(RemoveFileSpec(L"D:\\a\\b.bmp"), L"D:\\a");
  EXPECT_EQ(RemoveFileSpec(L"D:\\b.bmp"), L"D:\\");
  EXPECT_EQ(RemoveFileSpec(L"D:\\"), L"D:\\");
  EXPECT_EQ(FindFileName(L"D:b.bmp"), L"b.bmp");
  EXPECT_TRUE(SamePath(L"D:\\Photos\\A.BMP", L"d:\\photos\\a.bmp"));
#else
  EXPECT_FALSE(SamePath(L"/Photos/A.BMP", L"/photos/a.bmp"));
  EXPECT_EQ(FindFileName(L"D:b.bmp"), L"D:b.bmp");
#endif
  EXPECT_TRUE(SamePath(P(L"/d/") + kJapanese, P(L"/d/") + kJapanese));
}

TEST(Wildcard, MatchesLikeTheWindowsSearch) {
  struct Case {
    const wchar_t* pattern;
    const wchar_t* name;
    bool match;
  };
  const Case cases[] = {
      {L"*.bmp", L"a.bmp", true},       {L"*.bmp", L"A.BMP", true},
      {L"*.bmp", L"a.bmpx", false},     {L"*.bmp", L"bmp", false},
      {L"*.*", L"README", true},        {L"*.*", L".hidden", true},
      {L"*", L"x.y.z", true},           {L"?.png", L"a.png", true},
      {L"?.png", L"ab.png", false},     {L"a*b*c", L"aXbYbZc", true},
      {L"a*b*c", L"aXbYcZ", false},     {L"photo.*", L"photo", true},
      {L"*.", L"readme", true},         {L"*.", L"a.txt", false},
      {L"*.jpeg", L"設定.JPEG", true},  {L"", L"a", false},
      {L"*.ｊｐｇ", L"x.ＪＰＧ", true},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(MatchWildcard(c.pattern, c.name), c.match) << c.pattern << L" / " << c.name;
  }
}

}  // namespace
}  // namespace kiv

TEST(LongPath, EveryWindowsSpellingGetsItsExtendedLengthForm) {
  const std::wstring current = L"D:\\work\\now";
  const std::wstring unc = L"\\\\server\\share\\now";
  const struct {
    const wchar_t* path;
    const std::wstring& current;
    const wchar_t* expected;
  } cases[] = {
      {L"C:\\photos\\a.jpg", current, L"\\\\?\\C:\\photos\\a.jpg"},
      {L"C:/photos//2024/./a.jpg", current, L"\\\\?\\C:\\photos\\2024\\a.jpg"},
      {L"C:\\photos\\old\\..\\a.jpg", current, L"\\\\?\\C:\\photos\\a.jpg"},
      {L"C:\\..\\..\\a.jpg", current, L"\\\\?\\C:\\a.jpg"},
      {L"C:\\photos\\", current, L"\\\\?\\C:\\photos"},
      {L"C:\\", current, L"\\\\?\\C:\\"},
      {L"\\\\nas\\pics\\a.jpg", current, L"\\\\?\\UNC\\nas\\pics\\a.jpg"},
      {L"//nas/pics/x/../a.jpg", current, L"\\\\?\\UNC\\nas\\pics\\a.jpg"},
      {L"a\\b.jpg", current, L"\\\\?\\D:\\work\\now\\a\\b.jpg"},
      {L"..\\b.jpg", current, L"\\\\?\\D:\\work\\b.jpg"},
      {L"\\top\\b.jpg", current, L"\\\\?\\D:\\top\\b.jpg"},
      {L"d:b.jpg", current, L"\\\\?\\D:\\work\\now\\b.jpg"},
      {L"E:b.jpg", current, L"\\\\?\\E:\\b.jpg"},
      {L"b.jpg", unc, L"\\\\?\\UNC\\server\\share\\now\\b.jpg"},
      {L"\\b.jpg", unc, L"\\\\?\\UNC\\server\\share\\b.jpg"},
      {L"\\\\?\\C:\\as\\given\\..", current, L"\\\\?\\C:\\as\\given\\.."},
      {L"\\\\.\\pipe\\x", current, L"\\\\.\\pipe\\x"},
      {L"a\\b.jpg", std::wstring(), L"a\\b.jpg"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(kiv::ExtendedLengthPath(c.path, c.current), c.expected)
        << kiv::WideToUtf8(c.path) << " in " << kiv::WideToUtf8(c.current);
  }
}
