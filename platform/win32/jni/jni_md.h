/* Machine-dependent JNI types for the Windows x86-64 build. */
#ifndef PLB_WIN32_JNI_MD_H
#define PLB_WIN32_JNI_MD_H

#define JNIEXPORT __declspec(dllexport)
#define JNIIMPORT __declspec(dllimport)
#define JNICALL

typedef long jint;
typedef long long jlong;
typedef signed char jbyte;

#endif
