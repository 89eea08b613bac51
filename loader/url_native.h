// The "plb:" resource URLs and the native that serves the bytes behind them.
#pragma once
#include <jni.h>

#include <string_view>

// The java.net.URL of "plb:" + path, using the launcher's handler; the path text is the
// bytes decoded with the name form that found them (form B: UTF-8). Null after printing the
// exception when the URL cannot be made.
jobject MakeResourceUrl(JNIEnv* env, std::string_view path, bool formB);

extern "C" JNIEXPORT jbyteArray JNICALL Java_com_quillmar_plb_Handler_loadResourceData(JNIEnv* env, jobject self,
                                                                                        jstring url);
