// The native of com.quillmar.plb.RedirOutputStream.
#pragma once
#include <jni.h>

extern "C" JNIEXPORT void JNICALL Java_com_quillmar_plb_RedirOutputStream_write(JNIEnv* env, jobject self, jint b);
