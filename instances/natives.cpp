// The natives of com.quillmar.plb.Instances and the delivery of received objects to the
// application's receiver. No exception or failure leaves a native as anything but a
// harmless result or a pending Java exception.
#include <jni.h>

#include <chrono>
#include <mutex>
#include <thread>

#include "instances/instances.h"
#include "instances/natives.h"
#include "runtime/jni_util.h"

namespace {

// The receiver set by the application, and the VM that delivery attaches to.
struct InstanceService {
  std::mutex lock;
  JavaVM* vm = nullptr;
  jobject receiver = nullptr;  // global reference
  jmethodID onReceive = nullptr;
  jobject loader = nullptr;  // global reference to the receiver class's loader (may be null)
};

InstanceService g_service;

InstanceState* Started() { return g_instance && g_instance->started ? g_instance : nullptr; }

// The class loader of `object`'s class, as a local reference (null for the boot loader).
jobject ClassLoaderOf(JNIEnv* env, jobject object) {
  LocalRef<jclass> cls(env, env->GetObjectClass(object));
  LocalRef<jclass> classClass(env, env->FindClass("java/lang/Class"));
  jmethodID get = classClass ? env->GetMethodID(classClass.get(), "getClassLoader", "()Ljava/lang/ClassLoader;") : nullptr;
  if (!get) {
    ClearQuietly(env);
    return nullptr;
  }
  jobject loader = env->CallObjectMethod(cls.get(), get);
  DescribeAndClear(env);
  return loader;
}

// ObjectOutputStream.writeObject into a byte array. False (exception printed) on failure.
bool Serialize(JNIEnv* env, jobject object, std::vector<uint8_t>& out) {
  LocalRef<jclass> baosClass(env, env->FindClass("java/io/ByteArrayOutputStream"));
  LocalRef<jclass> oosClass(env, env->FindClass("java/io/ObjectOutputStream"));
  jmethodID baosInit = baosClass ? env->GetMethodID(baosClass.get(), "<init>", "()V") : nullptr;
  jmethodID toBytes = baosClass ? env->GetMethodID(baosClass.get(), "toByteArray", "()[B") : nullptr;
  jmethodID oosInit = oosClass ? env->GetMethodID(oosClass.get(), "<init>", "(Ljava/io/OutputStream;)V") : nullptr;
  jmethodID write = oosClass ? env->GetMethodID(oosClass.get(), "writeObject", "(Ljava/lang/Object;)V") : nullptr;
  jmethodID close = oosClass ? env->GetMethodID(oosClass.get(), "close", "()V") : nullptr;
  if (!baosInit || !toBytes || !oosInit || !write || !close) {
    ClearQuietly(env);
    return false;
  }
  LocalRef<jobject> baos(env, env->NewObject(baosClass.get(), baosInit));
  LocalRef<jobject> oos(env, baos ? env->NewObject(oosClass.get(), oosInit, baos.get()) : nullptr);
  if (!oos) {
    DescribeAndClear(env);
    return false;
  }
  env->CallVoidMethod(oos.get(), write, object);
  bool failed = env->ExceptionCheck();
  DescribeAndClear(env);
  env->CallVoidMethod(oos.get(), close);
  failed |= static_cast<bool>(env->ExceptionCheck());
  DescribeAndClear(env);
  LocalRef<jbyteArray> bytes(env, static_cast<jbyteArray>(env->CallObjectMethod(baos.get(), toBytes)));
  failed |= static_cast<bool>(env->ExceptionCheck()) || !bytes;
  DescribeAndClear(env);
  if (failed) return false;
  jsize length = env->GetArrayLength(bytes.get());
  out.assign(4 + static_cast<size_t>(length), 0);  // kind 0: a serialized object
  env->GetByteArrayRegion(bytes.get(), 0, length, reinterpret_cast<jbyte*>(out.data() + 4));
  return true;
}

// Turns the message's bytes back into an object with the receiver's loader; null when
// that fails (the exception is printed).
jobject Deserialize(JNIEnv* env, const std::vector<uint8_t>& message, jobject loader) {
  LocalRef<jclass> baisClass(env, env->FindClass("java/io/ByteArrayInputStream"));
  LocalRef<jclass> oisClass(env, env->FindClass("com/quillmar/plb/ClassLoaderObjectInputStream"));
  jmethodID baisInit = baisClass ? env->GetMethodID(baisClass.get(), "<init>", "([B)V") : nullptr;
  jmethodID oisInit =
      oisClass ? env->GetMethodID(oisClass.get(), "<init>", "(Ljava/io/InputStream;Ljava/lang/ClassLoader;)V") : nullptr;
  jmethodID read = oisClass ? env->GetMethodID(oisClass.get(), "readObject", "()Ljava/lang/Object;") : nullptr;
  jmethodID close = oisClass ? env->GetMethodID(oisClass.get(), "close", "()V") : nullptr;
  if (!baisInit || !oisInit || !read || !close) {
    ClearQuietly(env);
    return nullptr;
  }
  auto length = static_cast<jsize>(message.size() - 4);
  LocalRef<jbyteArray> bytes(env, env->NewByteArray(length));
  if (!bytes) {
    DescribeAndClear(env);
    return nullptr;
  }
  env->SetByteArrayRegion(bytes.get(), 0, length, reinterpret_cast<const jbyte*>(message.data() + 4));
  LocalRef<jobject> bais(env, env->NewObject(baisClass.get(), baisInit, bytes.get()));
  LocalRef<jobject> ois(env, bais ? env->NewObject(oisClass.get(), oisInit, bais.get(), loader) : nullptr);
  if (!ois) {
    DescribeAndClear(env);
    return nullptr;
  }
  jobject object = env->CallObjectMethod(ois.get(), read);
  DescribeAndClear(env);
  env->CallVoidMethod(ois.get(), close);
  DescribeAndClear(env);
  return object;
}

void SetContextLoader(JNIEnv* env, jobject loader) {
  LocalRef<jclass> threadClass(env, env->FindClass("java/lang/Thread"));
  jmethodID current = threadClass ? env->GetStaticMethodID(threadClass.get(), "currentThread", "()Ljava/lang/Thread;") : nullptr;
  jmethodID set = threadClass ? env->GetMethodID(threadClass.get(), "setContextClassLoader", "(Ljava/lang/ClassLoader;)V") : nullptr;
  if (!current || !set) {
    ClearQuietly(env);
    return;
  }
  LocalRef<jobject> thread(env, env->CallStaticObjectMethod(threadClass.get(), current));
  if (thread) env->CallVoidMethod(thread.get(), set, loader);
  DescribeAndClear(env);
}

void DeliverOnAttachedThread(JNIEnv* env, uint32_t sender, const std::vector<uint8_t>& message) {
  jmethodID onReceive;
  jobject receiver, loader;
  {
    std::lock_guard<std::mutex> lock(g_service.lock);
    if (!g_service.receiver) return;
    receiver = env->NewLocalRef(g_service.receiver);
    loader = g_service.loader ? env->NewLocalRef(g_service.loader) : nullptr;
    onReceive = g_service.onReceive;
  }
  LocalRef<jobject> receiverRef(env, receiver), loaderRef(env, loader);
  SetContextLoader(env, loader);
  LocalRef<jobject> object(env, Deserialize(env, message, loader));
  if (!object || !receiver) return;
  env->CallVoidMethod(receiver, onReceive, static_cast<jint>(sender), object.get());
  DescribeAndClear(env);
}

// The delivery operation, called on the delivery thread.
void DeliverToReceiver(uint32_t sender, std::vector<uint8_t>& message) {
  if (message.size() < 4 || message[0] || message[1] || message[2] || message[3]) return;  // kind 0 only
  if (message.size() - 4 > static_cast<size_t>(INT32_MAX)) return;
  JavaVM* vm;
  {
    std::lock_guard<std::mutex> lock(g_service.lock);
    if (!g_service.receiver) return;
    vm = g_service.vm;
  }
  JNIEnv* env = nullptr;
  JavaVMAttachArgs args{JNI_VERSION_1_2, const_cast<char*>("plumbox instances"), nullptr};
  if (!vm || vm->AttachCurrentThreadAsDaemon(reinterpret_cast<void**>(&env), &args) != JNI_OK || !env) return;
  try {
    DeliverOnAttachedThread(env, sender, message);
  } catch (...) {  // out of memory on our side: the message is lost
  }
  vm->DetachCurrentThread();
}

void ReplaceReceiver(JavaVM* vm, jobject receiver, jmethodID onReceive, jobject loader, JNIEnv* env) {
  jobject oldReceiver, oldLoader;
  {
    std::lock_guard<std::mutex> lock(g_service.lock);
    oldReceiver = g_service.receiver;
    oldLoader = g_service.loader;
    g_service.vm = vm;
    g_service.receiver = receiver;
    g_service.onReceive = onReceive;
    g_service.loader = loader;
  }
  if (oldReceiver) env->DeleteGlobalRef(oldReceiver);
  if (oldLoader) env->DeleteGlobalRef(oldLoader);
}

}  // namespace

void StartInstanceThread(InstanceState& state) { StartInstanceThreadWith(state, DeliverToReceiver); }

extern "C" {

JNIEXPORT jint JNICALL Java_com_quillmar_plb_Instances_getFirstInstance(JNIEnv*, jclass) {
  InstanceState* s = Started();
  return s ? static_cast<jint>(Load(s->block->firstInstance)) : -1;
}

JNIEXPORT jint JNICALL Java_com_quillmar_plb_Instances_getCurrentInstance(JNIEnv*, jclass) {
  InstanceState* s = Started();
  return s ? static_cast<jint>(s->self) : -1;
}

JNIEXPORT jintArray JNICALL Java_com_quillmar_plb_Instances_getInstances(JNIEnv* env, jclass) {
  try {
    std::vector<uint32_t> ids = g_instance ? PruneAndListInstances(*g_instance) : std::vector<uint32_t>{};
    jintArray array = env->NewIntArray(static_cast<jsize>(ids.size()));
    if (array && !ids.empty())
      env->SetIntArrayRegion(array, 0, static_cast<jsize>(ids.size()), reinterpret_cast<const jint*>(ids.data()));
    return array;
  } catch (...) {
    return nullptr;
  }
}

JNIEXPORT void JNICALL Java_com_quillmar_plb_Instances_sendObject(JNIEnv* env, jclass, jint target, jobject object) {
  InstanceState* s = Started();
  if (!s) return;
  try {
    auto to = static_cast<uint32_t>(target);
    if (to == 0) to = Load(s->block->firstInstance);
    std::vector<uint8_t> message;
    bool serialized = Serialize(env, object, message);
    if (object) env->DeleteLocalRef(object);
    if (serialized) QueueMessage(*s, to, std::move(message));
  } catch (...) {  // out of memory on our side: nothing is sent
  }
}

JNIEXPORT void JNICALL Java_com_quillmar_plb_Instances_flush(JNIEnv*, jclass) {
  InstanceState* s = Started();
  for (int i = 0; s && i < 100 && !OutgoingQueueEmpty(*s); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
}

JNIEXPORT void JNICALL Java_com_quillmar_plb_Instances_setReceiver(JNIEnv* env, jclass, jobject receiver) {
  JavaVM* vm = nullptr;
  if (!receiver || env->GetJavaVM(&vm) != JNI_OK) {
    ReplaceReceiver(nullptr, nullptr, nullptr, nullptr, env);  // null: no receiver
    return;
  }
  LocalRef<jclass> cls(env, env->GetObjectClass(receiver));
  jmethodID onReceive = env->GetMethodID(cls.get(), "onReceive", "(ILjava/io/Serializable;)V");
  if (!onReceive) {
    ClearQuietly(env);
    return;
  }
  LocalRef<jobject> loader(env, ClassLoaderOf(env, receiver));
  jobject globalReceiver = env->NewGlobalRef(receiver);
  jobject globalLoader = loader ? env->NewGlobalRef(loader.get()) : nullptr;
  if (!globalReceiver) return;
  ReplaceReceiver(vm, globalReceiver, onReceive, globalLoader, env);
}

}  // extern "C"
