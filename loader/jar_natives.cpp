#include "loader/jar_natives.h"

#include <climits>
#include <mutex>
#include <string>
#include <vector>

#include "loader/name_forms.h"
#include "loader/native_support.h"
#include "runtime/jni_util.h"

namespace {

// The nested archives that Java holds views of, by handle. Nodes live as long as the process,
// so a handle stays valid; handles from Java are checked before use.
std::mutex g_handlesLock;
std::vector<ArchiveNode*> g_handles;

jint HandleOf(ArchiveNode* node) {
  std::lock_guard<std::mutex> hold(g_handlesLock);
  for (size_t i = 0; i < g_handles.size(); ++i)
    if (g_handles[i] == node) return static_cast<jint>(i);
  g_handles.push_back(node);
  return static_cast<jint>(g_handles.size() - 1);
}

ArchiveNode* NodeOf(jint id) {
  std::lock_guard<std::mutex> hold(g_handlesLock);
  return id >= 0 && static_cast<size_t>(id) < g_handles.size() ? g_handles[static_cast<size_t>(id)] : nullptr;
}

// The archive of a "plb:" URL path (the text after the scheme), read as URL paths are read.
ArchiveNode* FindArchive(std::u16string_view path) {
  if (path.find(u'\0') != std::u16string_view::npos) return nullptr;
  return FindArchiveNode(EmbeddedArchive(), UrlPathSteps(path));
}

// Where an entry was found: the index item, the version directory it came from (0: none)
// and whether a "/" had to be added to the name.
struct Found {
  const IndexItem* item = nullptr;
  int version = 0;
  bool slashAdded = false;
};

// The entry in the runtime's version (0: the base), then, for a plain name not found, the
// directory of that name, as JarFile's lookups do.
Found FindVersioned(const ArchiveNode& node, const std::string& name, int version) {
  Found f;
  f.item = FindVersionedEntry(node, name, version, f.version);
  if (!f.item && !name.empty() && name.back() != '/') {
    f.item = FindEntry(node, name + "/");
    f.slashAdded = f.item != nullptr;
  }
  return f;
}

jlongArray NewJavaLongs(JNIEnv* env, const std::vector<jlong>& values) {
  if (values.size() > static_cast<size_t>(INT32_MAX)) return nullptr;
  auto n = static_cast<jsize>(values.size());
  jlongArray array = env->NewLongArray(n);
  if (array && n > 0) env->SetLongArrayRegion(array, 0, n, values.data());
  return array;
}

// Size, compressed size, CRC-32, DOS date and time, method.
void AppendEntry(std::vector<jlong>& out, const ZipEntryHeader& e) {
  out.push_back(e.uncompressedSize);
  out.push_back(e.compressedSize);
  out.push_back(e.crc32);
  out.push_back(static_cast<jlong>(uint32_t{e.modDate} << 16 | e.modTime));
  out.push_back(e.method);
}

}  // namespace

JNIEXPORT jint JNICALL Java_com_quillmar_plb_NestedJarFile_openArchive(JNIEnv* env, jclass, jstring path) {
  return Guarded<jint>(env, [&]() -> jint {
    ArchiveNode* node = FindArchive(JavaStringAllUnits(env, path));
    return node ? HandleOf(node) : -1;
  });
}

JNIEXPORT jlong JNICALL Java_com_quillmar_plb_NestedJarFile_archiveSize(JNIEnv* env, jclass, jint id) {
  return Guarded<jlong>(env, [&]() -> jlong {
    ArchiveNode* node = NodeOf(id);
    return node ? node->size : -1;
  });
}

JNIEXPORT jlongArray JNICALL Java_com_quillmar_plb_NestedJarFile_findEntry(JNIEnv* env, jclass, jint id,
                                                                           jstring name, jint version) {
  return Guarded<jlongArray>(env, [&]() -> jlongArray {
    ArchiveNode* node = NodeOf(id);
    if (!node) return nullptr;
    NameForms forms = MakeNameForms(JavaStringAllUnits(env, name));
    Found f;
    if (forms.hasA) f = FindVersioned(*node, forms.a, version);
    if (!f.item && forms.hasB) f = FindVersioned(*node, forms.b, version);
    if (!f.item) return nullptr;
    std::vector<jlong> info{f.item->entry};
    AppendEntry(info, node->reader.Entry(f.item->entry));
    info.push_back(f.version);
    info.push_back(f.slashAdded ? 1 : 0);
    return NewJavaLongs(env, info);
  });
}

JNIEXPORT jobjectArray JNICALL Java_com_quillmar_plb_NestedJarFile_entryNames(JNIEnv* env, jclass, jint id) {
  return Guarded<jobjectArray>(env, [&]() -> jobjectArray {
    ArchiveNode* node = NodeOf(id);
    if (!node) return nullptr;
    const std::vector<ZipEntryHeader>& entries = node->reader.Entries();
    LocalRef<jclass> stringClass(env, env->FindClass("java/lang/String"));
    if (!stringClass) return nullptr;
    jobjectArray array = env->NewObjectArray(static_cast<jsize>(entries.size()), stringClass.get(), nullptr);
    for (size_t i = 0; array && i < entries.size(); ++i) {
      std::u16string text = DecodeStoredName(entries[i].Name());
      LocalRef<jstring> s(env, JavaStringFromUtf16(env, text));
      if (!s) return nullptr;
      env->SetObjectArrayElement(array, static_cast<jsize>(i), s.get());
    }
    return array;
  });
}

JNIEXPORT jlongArray JNICALL Java_com_quillmar_plb_NestedJarFile_entryTable(JNIEnv* env, jclass, jint id) {
  return Guarded<jlongArray>(env, [&]() -> jlongArray {
    ArchiveNode* node = NodeOf(id);
    if (!node) return nullptr;
    std::vector<jlong> table;
    table.reserve(node->reader.EntryCount() * 5);
    for (const ZipEntryHeader& e : node->reader.Entries()) AppendEntry(table, e);
    return NewJavaLongs(env, table);
  });
}

JNIEXPORT jbyteArray JNICALL Java_com_quillmar_plb_NestedJarFile_readEntry(JNIEnv* env, jclass, jint id,
                                                                           jint index) {
  return Guarded<jbyteArray>(env, [&]() -> jbyteArray {
    ArchiveNode* node = NodeOf(id);
    if (!node || index < 0) return nullptr;
    std::vector<uint8_t> bytes;
    bool ok = ReadEntryBytes(*node, static_cast<size_t>(index), [&](uint32_t size) {
      bytes.resize(size);
      return bytes.data();
    });
    return ok ? NewJavaBytes(env, bytes) : nullptr;
  });
}

JNIEXPORT jlong JNICALL Java_com_quillmar_plb_NestedJarFile_entryData(JNIEnv* env, jclass, jint id, jint index) {
  return Guarded<jlong>(env, [&]() -> jlong {
    ArchiveNode* node = NodeOf(id);
    if (!node || index < 0) return -1;
    std::lock_guard<std::mutex> hold(node->lock);
    try {
      uint64_t data = node->reader.EntryData(static_cast<size_t>(index));
      return data == ZipReader::kNoData ? -1 : static_cast<jlong>(data);
    } catch (const CZipException&) {
      return -1;
    }
  });
}

JNIEXPORT jboolean JNICALL Java_com_quillmar_plb_NestedJarFile_readRaw(JNIEnv* env, jclass, jint id, jlong pos,
                                                                        jbyteArray buffer, jint off, jint len) {
  return Guarded<jboolean>(env, [&]() -> jboolean {
    ArchiveNode* node = NodeOf(id);
    if (!node || !buffer || pos < 0 || off < 0 || len < 0 || off > env->GetArrayLength(buffer) - len) return JNI_FALSE;
    std::vector<uint8_t> scratch;
    std::lock_guard<std::mutex> hold(node->lock);  // a file source has one position
    const uint8_t* bytes = node->reader.ViewSource(static_cast<uint64_t>(pos), static_cast<uint32_t>(len), scratch);
    env->SetByteArrayRegion(buffer, off, len, reinterpret_cast<const jbyte*>(bytes));
    return JNI_TRUE;
  });
}

JNIEXPORT void JNICALL Java_com_quillmar_plb_NestedJarFile_useOwnManifestAnswer(JNIEnv* env, jclass, jobject jar,
                                                                                jint id) {
  Guarded<int>(env, [&]() -> int {
    ArchiveNode* node = NodeOf(id);
    if (!node || !jar) return 0;
    // JarFile's private state of what its manifest says; JNI reaches it without access
    // checks. A runtime without these fields keeps its own answer.
    LocalRef<jclass> jarFile(env, env->FindClass("java/util/jar/JarFile"));
    jfieldID multi = jarFile ? env->GetFieldID(jarFile.get(), "isMultiRelease", "Z") : nullptr;
    jfieldID checked = multi ? env->GetFieldID(jarFile.get(), "hasCheckedSpecialAttributes", "Z") : nullptr;
    if (!checked) {
      ClearQuietly(env);
      return 0;
    }
    env->SetBooleanField(jar, multi, ManifestSaysMultiRelease(*node) ? JNI_TRUE : JNI_FALSE);
    env->SetBooleanField(jar, checked, JNI_TRUE);
    return 0;
  });
}
