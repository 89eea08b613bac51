// Loading a VM library and creating the VM, against stand-in libraries (tests/fakejvm).
#include <gtest/gtest.h>

#include <string>

#include "platform/dynlib.h"
#include "platform/env.h"
#include "platform/fs.h"
#include "runtime/vm.h"
#include "support/env_guard.h"

namespace {

std::string TestDir() {
  std::string exe = plat::ExecutablePath();
  return exe.substr(0, exe.find_last_of("\\/") + 1);
}

std::string FakeJvm(const std::string& mode) {
#ifdef _WIN32
  return TestDir() + "fakejvm\\fake_jvm_" + mode + ".dll";
#else
  return TestDir() + "fakejvm/fake_jvm_" + mode + ".so";
#endif
}

template <typename Fn>
Fn Export(const VmContext& vm, const char* name) {
  return reinterpret_cast<Fn>(plat::FindSymbol(vm.library, name));
}

int Counter(const VmContext& vm, const char* name) { return Export<int (*)()>(vm, name)(); }

TEST(VmCreation, HandsTheOptionsOverInOrderAndConsumesThem) {
  VmContext vm;
  AddOption(vm, "-Dfirst=1");
  AddOption(vm, "-Dsecond=two words");
  AddOption(vm, "-Xunknown");
  ASSERT_EQ(CreateVm(vm, FakeJvm("accept")), 0);
  EXPECT_NE(vm.vm, nullptr);
  EXPECT_NE(vm.env, nullptr);
  EXPECT_TRUE(vm.options.empty());
  EXPECT_STREQ(Export<const char* (*)()>(vm, "FakeJvmOptions")(), "-Dfirst=1\n-Dsecond=two words\n-Xunknown\n");
  EXPECT_EQ(Counter(vm, "FakeJvmVersion"), 0x00010002);
  EXPECT_EQ(Counter(vm, "FakeJvmIgnoresUnrecognized"), 1);

  int destroyed = Counter(vm, "FakeJvmDestroyed"), detached = Counter(vm, "FakeJvmDetached");
  DestroyVm(vm);
  DestroyVm(vm);  // the second call finds nothing to do
  EXPECT_EQ(vm.vm, nullptr);
  EXPECT_EQ(Counter(vm, "FakeJvmDestroyed"), destroyed + 1);
  EXPECT_EQ(Counter(vm, "FakeJvmDetached"), detached + 1);
  EXPECT_NE(vm.library, nullptr);  // a runtime that ran a VM stays loaded
}

TEST(VmCreation, UsesTheAlternativeCreationFunction) {
  VmContext vm;
  AddOption(vm, "-Dx=1");
  EXPECT_EQ(CreateVm(vm, FakeJvm("impl")), 0);
  EXPECT_NE(vm.vm, nullptr);
  DestroyVm(vm);
}

TEST(VmCreation, RefusedAndMissingCreationGiveTheirCodes) {
  VmContext refused;
  AddOption(refused, "-Dx=1");
  EXPECT_EQ(CreateVm(refused, FakeJvm("refuse")), 4);
  EXPECT_EQ(refused.vm, nullptr);
  EXPECT_TRUE(refused.options.empty());
  DestroyVm(refused);
  EXPECT_EQ(refused.library, nullptr);  // nothing ran: the library is released

  VmContext none;
  EXPECT_EQ(CreateVm(none, FakeJvm("none")), 2);
  EXPECT_EQ(none.vm, nullptr);
  DestroyVm(none);
}

TEST(VmCreation, ALibraryLoadedEarlierIsNotLoadedAgain) {
  VmContext vm;
  ASSERT_EQ(LoadVmLibrary(vm, FakeJvm("accept")), 0);
  EXPECT_EQ(CreateVm(vm, FakeJvm("missing")), 0);
  DestroyVm(vm);
}

TEST(VmCreation, AFailedLoadReportsTheSystemsReasonAndExtendsPath) {
  testutil::EnvGuard env;
  env.Set("PATH", "before");
  VmContext vm;
  std::string dir = TestDir() + "no-runtime-here/";
  testing::internal::CaptureStderr();
  EXPECT_EQ(CreateVm(vm, dir + "jvm-library"), 2);
  std::string reason = testing::internal::GetCapturedStderr();
  EXPECT_GT(reason.size(), 1u);
  EXPECT_EQ(reason.back(), '\n');
  EXPECT_EQ(reason.find('\n'), reason.size() - 1) << reason;  // one line, whatever the system's text ends with
  std::string path;
  plat::GetEnv("PATH", path);
  EXPECT_EQ(path, std::string("before") + plat::kPathListSeparator + dir + "..");

  // The splash step and the VM start both ask for the library: a second attempt at the same
  // path neither repeats the reason nor extends PATH again.
  testing::internal::CaptureStderr();
  EXPECT_EQ(LoadVmLibrary(vm, dir + "jvm-library"), 2);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  plat::GetEnv("PATH", path);
  EXPECT_EQ(path, std::string("before") + plat::kPathListSeparator + dir + "..");

  env.Set("PATH", "before");
  VmContext bare;
  testing::internal::CaptureStderr();
  EXPECT_EQ(LoadVmLibrary(bare, "no-such-jvm-library"), 2);
  testing::internal::GetCapturedStderr();
  plat::GetEnv("PATH", path);
  EXPECT_EQ(path, std::string("before") + plat::kPathListSeparator + "..");
}

#ifdef _WIN32
// A runtime's jvm.dll imports libraries from the bin directory above its own: the first load
// fails, and the load with that directory on PATH succeeds.
TEST(VmCreation, ALibraryThatNeedsItsParentDirectoryLoadsOnceItIsOnPath) {
  testutil::EnvGuard env;
  env.Set("PATH", "C:\\windows\\system32");
  std::string library = TestDir() + "fakejvm\\deps\\server\\fake_jvm_dependent.dll";
  EXPECT_EQ(plat::LoadDynamicLibrary(library), nullptr);  // not without the PATH entry
  VmContext vm;
  testing::internal::CaptureStderr();
  ASSERT_EQ(LoadVmLibrary(vm, library), 0);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  EXPECT_EQ(Counter(vm, "FakeJvmDependency"), 42);
  EXPECT_EQ(CreateVm(vm, library), 0);
  DestroyVm(vm);
}
#endif

}  // namespace
