// The natives of com.quillmar.plb.PlumboxClassLoader: classes and resources out of the
// archive registry.
#pragma once
#include <jni.h>

extern "C" {
JNIEXPORT jint JNICALL JNI_OnLoad_plumbox(JavaVM* vm, void* reserved);
JNIEXPORT jobject JNICALL Java_com_quillmar_plb_PlumboxClassLoader_findResource(JNIEnv* env, jobject self,
                                                                                jstring name);
JNIEXPORT jobject JNICALL Java_com_quillmar_plb_PlumboxClassLoader_findResources(JNIEnv* env, jobject self,
                                                                                 jstring name);
JNIEXPORT jobjectArray JNICALL Java_com_quillmar_plb_PlumboxClassLoader_getEmbeddedJars(JNIEnv* env, jclass cls);
JNIEXPORT jclass JNICALL Java_com_quillmar_plb_PlumboxClassLoader_defineClass(JNIEnv* env, jobject self,
                                                                              jstring name);
JNIEXPORT jclass JNICALL Java_com_quillmar_plb_PlumboxClassLoader_findClass(JNIEnv* env, jobject self, jstring name);
JNIEXPORT jobject JNICALL Java_com_quillmar_plb_PlumboxClassLoader_exchangeHandler(JNIEnv* env, jclass cls,
                                                                                  jstring protocol, jobject expected,
                                                                                  jobject replacement);
}

// True once getEmbeddedJars has handed the nested archives to the loader: from then on the
// loader's URLClassLoader base answers resource lookups itself.
bool NestedJarsHandedOut();

