// The natives of com.quillmar.plb.NestedJarFile: a nested jar read in place, as a JarFile.
#pragma once
#include <jni.h>

extern "C" {
JNIEXPORT jint JNICALL Java_com_quillmar_plb_NestedJarFile_openArchive(JNIEnv* env, jclass cls, jstring path);
JNIEXPORT jlong JNICALL Java_com_quillmar_plb_NestedJarFile_archiveSize(JNIEnv* env, jclass cls, jint id);
JNIEXPORT jlongArray JNICALL Java_com_quillmar_plb_NestedJarFile_findEntry(JNIEnv* env, jclass cls, jint id,
                                                                           jstring name, jint version);
JNIEXPORT jobjectArray JNICALL Java_com_quillmar_plb_NestedJarFile_entryNames(JNIEnv* env, jclass cls, jint id);
JNIEXPORT jlongArray JNICALL Java_com_quillmar_plb_NestedJarFile_entryTable(JNIEnv* env, jclass cls, jint id);
JNIEXPORT void JNICALL Java_com_quillmar_plb_NestedJarFile_useOwnManifestAnswer(JNIEnv* env, jclass cls, jobject jar,
                                                                                jint id);
JNIEXPORT jlong JNICALL Java_com_quillmar_plb_NestedJarFile_entryData(JNIEnv* env, jclass cls, jint id, jint index);
JNIEXPORT jboolean JNICALL Java_com_quillmar_plb_NestedJarFile_readRaw(JNIEnv* env, jclass cls, jint id, jlong pos,
                                                                        jbyteArray buffer, jint off, jint len);
JNIEXPORT jbyteArray JNICALL Java_com_quillmar_plb_NestedJarFile_readEntry(JNIEnv* env, jclass cls, jint id,
                                                                           jint index);
}
