// The "plb:" resource URLs and the native that serves the bytes behind them.
#pragma once
#include <jni.h>

#include <string>

// The java.net.URL of "plb:" + a URL path (StoredPathToUrl), using the launcher's handler.
// Null after printing the exception when the URL cannot be made.
jobject MakeResourceUrl(JNIEnv* env, const std::u16string& path);

extern "C" JNIEXPORT jbyteArray JNICALL Java_com_quillmar_plb_Handler_loadResourceData(JNIEnv* env, jobject self,
                                                                                        jstring url);
