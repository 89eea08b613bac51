// Shared pieces of the exported natives.
#pragma once
#include <jni.h>

#include <cstdint>
#include <string_view>
#include <vector>

#include "loader/name_forms.h"
#include "loader/registry.h"

// Runs the body of an exported native: nothing thrown in C++ may reach the VM, so any
// exception becomes the fallback (null) result.
template <typename T, typename Body>
T Guarded(JNIEnv*, Body body) noexcept {
  try {
    return body();
  } catch (...) {
    return T{};
  }
}

// A new Java byte array with a copy of the bytes; null (with OutOfMemoryError pending) when
// the VM cannot make one.
jbyteArray NewJavaBytes(JNIEnv* env, std::string_view bytes);
jbyteArray NewJavaBytes(JNIEnv* env, const std::vector<uint8_t>& bytes);

// Both forms of a Java string, each normalised as a resource name.
NameForms ResourceNameForms(JNIEnv* env, jstring name);

// Both forms of a class name, each with '.' turned into '/' and ".class" appended.
NameForms ClassFileForms(JNIEnv* env, jstring name);

// Loads the first form found: searchNested also looks in the first level of nested
// archives, multi-release jars in their newest version up to `version`. False when neither
// form is found.
bool LoadFirstForm(const NameForms& forms, bool searchNested, std::vector<uint8_t>& out, int version = 0);

// The feature version of the running Java ("java.specification.version": 17, or 8 for
// "1.8"), asked once; 0 when it cannot be told.
int RuntimeFeatureVersion(JNIEnv* env);
