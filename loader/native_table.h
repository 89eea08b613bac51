// Every native of the support classes, bound by the launcher itself, so that the runtime
// never has to load the executable as a library (runtime/start_agent.h).
#pragma once
#include <jni.h>

// Binds the natives of the support class `cls`: false for a class the launcher does not know
// or when the runtime refuses, and the class then loads the executable instead.
extern "C" JNIEXPORT jboolean JNICALL Java_com_quillmar_plb_PlumboxClassLoader_bindNatives(JNIEnv* env, jclass self,
                                                                                           jclass cls);

// Loads the class loader class through `loader`, without initialising it, and binds its
// natives, among them the one through which the other support classes bind theirs.
bool RegisterLoaderNatives(JNIEnv* env, jobject loader);
