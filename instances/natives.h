// The natives of com.quillmar.plb.Instances.
#pragma once
#include <jni.h>

extern "C" {
JNIEXPORT jint JNICALL Java_com_quillmar_plb_Instances_getFirstInstance(JNIEnv* env, jclass cls);
JNIEXPORT jint JNICALL Java_com_quillmar_plb_Instances_getCurrentInstance(JNIEnv* env, jclass cls);
JNIEXPORT jintArray JNICALL Java_com_quillmar_plb_Instances_getInstances(JNIEnv* env, jclass cls);
JNIEXPORT void JNICALL Java_com_quillmar_plb_Instances_sendObject(JNIEnv* env, jclass cls, jint target,
                                                                  jobject object);
JNIEXPORT void JNICALL Java_com_quillmar_plb_Instances_flush(JNIEnv* env, jclass cls);
JNIEXPORT void JNICALL Java_com_quillmar_plb_Instances_setReceiver(JNIEnv* env, jclass cls, jobject receiver);
}
