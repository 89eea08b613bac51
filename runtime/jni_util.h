// Small helpers over the JNI function table, shared by the VM run and the natives.
#pragma once
#include <jni.h>

#include <string>
#include <string_view>

// Clears a pending exception without printing it (failed lookups of the launcher's fixed
// classes and methods).
void ClearQuietly(JNIEnv* env);

// Prints a pending exception with the VM's exception printer, then clears it.
void DescribeAndClear(JNIEnv* env);

// UTF-8 to UTF-16: sequences of one to four bytes (four-byte ones as surrogate pairs; a
// surrogate written as three bytes stays one unit). A byte that starts no valid sequence
// gives "?" and decoding goes on with the next byte; a sequence cut off by the end of the
// text ends it.
std::u16string Utf8ToUtf16(std::string_view utf8);

// Java strings from launcher text. Null when the VM could not make one (an exception is
// then pending).
jstring JavaStringFromUtf16(JNIEnv* env, std::u16string_view text);
jstring JavaStringFromUtf8(JNIEnv* env, std::string_view utf8);
// Narrow text in the user's code page (UTF-8 on Linux).
jstring JavaStringFromNarrow(JNIEnv* env, std::string_view text);

// The UTF-16 units of a Java string, up to its length or its first U+0000.
std::u16string JavaStringUnits(JNIEnv* env, jstring s);
// Every UTF-16 unit of a Java string, U+0000 included (names: one holding U+0000 must match
// nothing rather than its text before it).
std::u16string JavaStringAllUnits(JNIEnv* env, jstring s);

// Deletes a local reference when the scope ends.
template <typename T>
class LocalRef {
 public:
  LocalRef(JNIEnv* env, T ref) : env_(env), ref_(ref) {}
  ~LocalRef() {
    if (ref_) env_->DeleteLocalRef(ref_);
  }
  LocalRef(const LocalRef&) = delete;
  LocalRef& operator=(const LocalRef&) = delete;
  T get() const { return ref_; }
  explicit operator bool() const { return ref_ != nullptr; }
  T release() {
    T r = ref_;
    ref_ = nullptr;
    return r;
  }

 private:
  JNIEnv* env_;
  T ref_;
};
