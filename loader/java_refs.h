// Runtime classes and methods that the natives call, looked up once per process.
#pragma once
#include <jni.h>

struct JavaRefs {
  jclass urlClassLoader;
  jmethodID findResource;   // URLClassLoader.findResource(String)
  jmethodID findResources;  // URLClassLoader.findResources(String)
  jclass url;
  jmethodID urlInit;  // URL(URL context, String spec, URLStreamHandler handler)
  jclass string;
  jclass classLoader;
  jmethodID defineClass;    // ClassLoader.defineClass(String, byte[], int, int, ProtectionDomain)
  jmethodID getPackage;     // ClassLoader.getPackage(String)
  jmethodID definePackage;  // ClassLoader.definePackage(String, 6 x String, URL)
};

// What findResources needs besides: looked up on its first call, since the runtime does not
// load these classes at start.
struct ListRefs {
  jclass vector;
  jmethodID vectorInit, vectorAdd, vectorElements;
  jclass enumeration;
  jmethodID hasMoreElements, nextElement;
};

// The references, or null with the lookup's exception pending.
const JavaRefs* GetJavaRefs(JNIEnv* env);
const ListRefs* GetListRefs(JNIEnv* env);

// The launcher's one "plb:" handler object (created on first use), or null with the
// exception pending.
jobject PlbHandler(JNIEnv* env);
