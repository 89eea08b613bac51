// The byte forms under which a name from Java is looked up in the archives, and the text
// rules of "plb:" resources: name normalisation, percent-decoding, stand-in class files.
#pragma once
#include <string>
#include <string_view>
#include <vector>

// Entry names may be stored one byte per character or in UTF-8, so a name from Java is
// looked up in two forms:
//  - form A: one byte per UTF-16 unit, for names whose units are all below 256;
//  - form B: UTF-8 (a surrogate pair as one four-byte sequence), used only when it
//    differs from form A.
// A name holding U+0000 has no form: no stored name can match it.
struct NameForms {
  std::string a;
  bool hasA = false;  // false when a unit is 256 or above: only form B can match
  std::string b;
  bool hasB = false;  // true when form B differs from form A (or form A is missing)
};

NameForms MakeNameForms(std::u16string_view name);

// Resource-name normalisation: "/./" steps are dropped, and each "/../" removes the step
// before it, never past a ':', a '!' or the start of the name.
std::string NormaliseResourceName(std::string name);

// Applies `fn` to both forms of `forms`.
template <typename Forms, typename Fn>
void ForEachForm(Forms& forms, Fn fn) {
  if (forms.hasA) fn(forms.a);
  if (forms.hasB) fn(forms.b);
}

// The text of a name form: form A one unit per byte, form B decoded as UTF-8.
std::u16string DecodeNameForm(std::string_view bytes, bool formB);

// Stored names (bytes of unknown encoding) as text that gives the same bytes back as one of
// its two forms: UTF-8 when the bytes are valid UTF-8, else one unit per byte.
std::u16string DecodeStoredName(std::string_view bytes);

// One step of a path for a URL that is also a valid URI: every character a URI does not
// allow there (space, '%', '#', '?', '!', '\', non-ASCII and the like) becomes the
// percent-escapes of its UTF-8 bytes. PercentDecode turns it back. '!' is escaped because it
// separates the steps of a path.
std::u16string EncodeUrlPath(std::u16string_view text);

// The URL path of stored names (archive names from the root down, then maybe an entry name):
// each decoded as DecodeStoredName does, escaped, joined with '!'.
std::u16string StoredPathToUrl(const std::vector<std::string_view>& steps);

// The steps a URL path names (the text after "plb:", without a fragment): normalised, split
// at each '!', each step percent-decoded. Every step comes with the spellings it may be stored
// under: its decoded bytes, then, when those are UTF-8 of text whose characters are all below
// 256, that text one byte per character (the decoded form of a name stored so).
std::vector<std::vector<std::string>> UrlPathSteps(std::u16string_view path);

// "%%" becomes a "%", "%" and two hexadecimal digits the byte they give; any other "%" stays
// as it is, and so does "+" (a URL path has no form encoding).
std::string PercentDecode(std::string_view text);

// True when `text` begins with "plb:" in any case of the letters.
bool HasPlbScheme(std::string_view text);

// True when `text` ends with ".class" in any case of the letters.
bool EndsWithClass(std::string_view text);

// A minimal class file (version 46.0) for the class named in a "plb:" URL text (the text
// after the last '!' or ':', minus one separator right after it and the ".class" suffix):
// a public class extending java.lang.Object with only a public no-argument constructor.
// Empty when the name is too long for a class file.
std::string FakeClassBytes(std::string_view url);
