// The natives of com.quillmar.plb.SplashScreen.
#pragma once
#include <jni.h>

extern "C" {
JNIEXPORT jobject JNICALL Java_com_quillmar_plb_SplashScreen_nativeGetSplashScreen(JNIEnv* env, jclass splashClass);
JNIEXPORT void JNICALL Java_com_quillmar_plb_SplashScreen_nativeAutoClose(JNIEnv* env, jobject self, jint ms);
JNIEXPORT void JNICALL Java_com_quillmar_plb_SplashScreen_nativeClose(JNIEnv* env, jobject self);
}
