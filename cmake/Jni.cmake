# JNI headers: the JDK's jni.h. The Linux build takes jni_md.h from the JDK as well; the
# Windows build takes our own platform/win32/jni_md.h, which carries the Windows types.
set(PLB_JDK_HINTS $ENV{JAVA_HOME} /usr/lib/jvm/java-17-openjdk-amd64 /usr/lib/jvm/default-java)
if(Java_JAVAC_EXECUTABLE)
  get_filename_component(_plb_javac_dir ${Java_JAVAC_EXECUTABLE} REALPATH)
  get_filename_component(_plb_javac_dir ${_plb_javac_dir} DIRECTORY)
  list(PREPEND PLB_JDK_HINTS ${_plb_javac_dir}/..)
endif()
find_path(PLB_JNI_INCLUDE jni.h PATHS ${PLB_JDK_HINTS} PATH_SUFFIXES include
  NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH REQUIRED)

add_library(plb_jni INTERFACE)
if(WIN32)
  target_include_directories(plb_jni INTERFACE ${PLB_JNI_INCLUDE} ${CMAKE_CURRENT_LIST_DIR}/../platform/win32/jni)
else()
  target_include_directories(plb_jni INTERFACE ${PLB_JNI_INCLUDE} ${PLB_JNI_INCLUDE}/linux)
endif()
