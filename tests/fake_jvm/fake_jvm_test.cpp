// Checks that the fake JVM catches the faults it exists to catch and
// encodes text the way a real VM does.
#include "fake_jvm.hpp"
#include "fake_jvm_gtest.hpp"

#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>
#include <vector>

namespace {

using fakejvm::FakeVm;
using Bytes = std::vector<int8_t>;

class FakeVmTest : public ::testing::Test {
protected:
    ::testing::AssertionResult Reported(const std::string &fragment) const {
        const std::vector<std::string> all = vm.violations();
        for (const std::string &v : all)
            if (v.find(fragment) != std::string::npos)
                return ::testing::AssertionSuccess();
        ::testing::AssertionResult failure = ::testing::AssertionFailure();
        failure << "no violation mentions \"" << fragment << "\"; got " << all.size() << ":";
        for (const std::string &v : all)
            failure << "\n  " << v;
        return failure;
    }

    FakeVm vm;
    JNIEnv *env = vm.env();
};

// ---- text -----------------------------------------------------------------

TEST_F(FakeVmTest, GetStringUTFCharsEncodesModifiedUtf8) {
    const struct {
        std::u16string text;
        std::string bytes;
    } cases[] = {
        {u"A", "A"},
        {std::u16string{u'a', u'\0', u'b'}, "a\xC0\x80"
                                            "b"}, // no zero byte inside
        {u"\u00E9", "\xC3\xA9"},
        {u"\u20AC", "\xE2\x82\xAC"},
        {u"\U0001F600", "\xED\xA0\xBD\xED\xB8\x80"},
        {std::u16string(1, char16_t(0xDC00)), "\xED\xB0\x80"}, // unpaired surrogate
        {u"", ""},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.bytes);
        jstring s = vm.string(c.text);
        jboolean is_copy = JNI_FALSE;
        const char *utf = env->GetStringUTFChars(s, &is_copy);
        ASSERT_NE(utf, nullptr);
        EXPECT_EQ(is_copy, JNI_TRUE);
        EXPECT_EQ(std::string(utf), c.bytes); // also proves the NUL is right after
        EXPECT_EQ(env->GetStringUTFLength(s), static_cast<jsize>(c.bytes.size()));
        env->ReleaseStringUTFChars(s, utf);
    }
    EXPECT_VM_CLEAN(vm);
}

TEST_F(FakeVmTest, NewStringUTFKeepsBytesAndDecodesThem) {
    const std::string bytes = "\xED\xA0\xBD\xED\xB8\x80=\xC0\x80";
    jstring s = env->NewStringUTF(bytes.c_str());
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(vm.modified_utf8(s), bytes);
    EXPECT_EQ(vm.utf16(s), (std::u16string{0xD83D, 0xDE00, u'=', u'\0'}));
    EXPECT_VM_CLEAN(vm);

    jstring standard = env->NewStringUTF("\xF0\x9F\x98\x80"); // 4-byte form
    EXPECT_EQ(vm.modified_utf8(standard), "\xF0\x9F\x98\x80");
    EXPECT_TRUE(Reported("two 3-byte surrogates"));
    // Overlong 'A' in 2 and 3 bytes, a stray continuation, a truncated sequence.
    for (const char *bad : {"\xC1\x81", "\xE0\x81\x81", "a\x80", "\xE2\x82"}) {
        const std::size_t before = vm.violations().size();
        env->NewStringUTF(bad);
        EXPECT_EQ(vm.violations().size(), before + 1) << bad;
    }
    EXPECT_TRUE(Reported("not modified UTF-8 (byte 0x80 at offset 1)"));

    EXPECT_EQ(env->NewStringUTF(nullptr), nullptr);
    EXPECT_TRUE(Reported("NewStringUTF: null"));
}

TEST_F(FakeVmTest, GetStringCharsIsAnUnterminatedCopy) {
    jstring s = vm.string("\xC3\xA9\xF0\x9F\x98\x80"); // UTF-8 in, three units
    ASSERT_EQ(env->GetStringLength(s), 3);
    jboolean is_copy = JNI_FALSE;
    const jchar *chars = env->GetStringChars(s, &is_copy);
    ASSERT_NE(chars, nullptr);
    EXPECT_EQ(is_copy, JNI_TRUE);
    EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t *>(chars), 3), u"\u00E9\U0001F600");
    EXPECT_NE(chars[3], 0) << "a terminator would hide native code that relies on one";
    env->ReleaseStringChars(s, chars);

    jstring empty = vm.string(u"");
    const jchar *none = env->GetStringChars(empty, nullptr);
    ASSERT_NE(none, nullptr);
    EXPECT_NE(none[0], 0);
    env->ReleaseStringChars(empty, none);
    EXPECT_VM_CLEAN(vm);
}

TEST_F(FakeVmTest, StringBufferMisuseIsReported) {
    jstring a = vm.string(u"a"), b = vm.string(u"b");
    const jchar *chars = env->GetStringChars(a, nullptr);
    env->ReleaseStringChars(a, chars);
    env->ReleaseStringChars(a, chars);
    EXPECT_TRUE(Reported("released twice"));

    const jchar *other = env->GetStringChars(a, nullptr);
    env->ReleaseStringChars(b, other);
    EXPECT_TRUE(Reported("different object"));

    const jchar stray[1] = {u'a'};
    env->ReleaseStringChars(a, stray);
    EXPECT_TRUE(Reported("not handed out by GetStringChars"));

    const char *utf = env->GetStringUTFChars(a, nullptr);
    const_cast<char *>(utf)[0] = 'z';
    env->ReleaseStringUTFChars(a, utf);
    EXPECT_TRUE(Reported("wrote into the read-only buffer"));
    EXPECT_EQ(vm.outstanding(), 0u);
}

// ---- arrays ---------------------------------------------------------------

TEST_F(FakeVmTest, ReleaseModesCopyBackOrNot) {
    jbyteArray a = vm.bytes({1, 2, 3});
    ASSERT_EQ(env->GetArrayLength(a), 3);
    jboolean is_copy = JNI_FALSE;
    jbyte *e = env->GetByteArrayElements(a, &is_copy);
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(is_copy, JNI_TRUE);
    e[0] = 9;
    EXPECT_EQ(vm.contents(a), (Bytes{1, 2, 3})) << "elements must be a copy";
    env->ReleaseByteArrayElements(a, e, JNI_ABORT);
    EXPECT_EQ(vm.contents(a), (Bytes{1, 2, 3}));

    e = env->GetByteArrayElements(a, nullptr);
    e[1] = 8;
    env->ReleaseByteArrayElements(a, e, JNI_COMMIT);
    EXPECT_EQ(vm.contents(a), (Bytes{1, 8, 3}));
    EXPECT_EQ(vm.outstanding(), 1u) << "JNI_COMMIT keeps the buffer";
    e[2] = 7;
    env->ReleaseByteArrayElements(a, e, 0);
    EXPECT_EQ(vm.contents(a), (Bytes{1, 8, 7}));
    EXPECT_EQ(vm.array_release_modes(), (std::vector<jint>{JNI_ABORT, JNI_COMMIT, 0}));
    EXPECT_VM_CLEAN(vm);

    e = env->GetByteArrayElements(a, nullptr);
    env->ReleaseByteArrayElements(a, e, 42);
    EXPECT_TRUE(Reported("invalid release mode 42"));
    EXPECT_EQ(vm.outstanding(), 0u);
}

TEST(FakeVmArrays, WritesOutsideArrayAreCaught) {
    for (std::size_t n : {0u, 3u}) {
        FakeVm fresh;
        JNIEnv *e = fresh.env();
        jbyteArray a = fresh.bytes(Bytes(n, 1));
        jbyte *past = e->GetByteArrayElements(a, nullptr);
        ASSERT_NE(past, nullptr) << "an empty array still gets a buffer";
        past[n] = 0;
        e->ReleaseByteArrayElements(a, past, 0);
        jbyte *before = e->GetByteArrayElements(a, nullptr);
        before[-1] = 0;
        e->ReleaseByteArrayElements(a, before, JNI_ABORT);

        const std::vector<std::string> v = fresh.violations();
        ASSERT_EQ(v.size(), 2u) << n;
        EXPECT_NE(v[0].find("write past the end of the array (" + std::to_string(n)), std::string::npos);
        EXPECT_NE(v[1].find("write before the start"), std::string::npos);
        EXPECT_EQ(fresh.contents(a), Bytes(n, 1));
    }
}

TEST_F(FakeVmTest, RegionsCheckBoundsAndTerminate) {
    jbyteArray a = vm.bytes({1, 2, 3});
    const jbyte in[2] = {5, 6};
    env->SetByteArrayRegion(a, 1, 2, in);
    EXPECT_EQ(vm.contents(a), (Bytes{1, 5, 6}));
    jbyte out[3] = {};
    env->GetByteArrayRegion(a, 2, 2, out);
    EXPECT_EQ(vm.exception_class(), "java/lang/ArrayIndexOutOfBoundsException");
    env->ExceptionClear();

    char utf[8];
    std::memset(utf, 'x', sizeof utf);
    env->GetStringUTFRegion(vm.string(u"h\u00E9!"), 0, 2, utf);
    EXPECT_EQ(std::string(utf, 4), std::string("h\xC3\xA9\0", 4));
    EXPECT_VM_CLEAN(vm);
}

// ---- accounting -----------------------------------------------------------

TEST_F(FakeVmTest, UnreleasedGetsAreLeaks) {
    jstring s = vm.string(u"s");
    env->GetStringChars(s, nullptr);
    env->GetStringUTFChars(s, nullptr);
    env->GetByteArrayElements(vm.bytes({1}), nullptr)[1] = 0; // and overrun it
    EXPECT_EQ(vm.outstanding(), 3u);
    EXPECT_TRUE(Reported("write past the end of the array (1 elements)"));
    EXPECT_TRUE(Reported("GetStringChars without ReleaseStringChars"));
    EXPECT_TRUE(Reported("GetStringUTFChars without ReleaseStringUTFChars"));
    EXPECT_TRUE(Reported("GetByteArrayElements without ReleaseByteArrayElements"));
    EXPECT_NONFATAL_FAILURE(EXPECT_VM_CLEAN(vm), "GetByteArrayElements without");
}

TEST_F(FakeVmTest, CallsAreRecordedInOrder) {
    jstring s = vm.string(u"s");
    env->GetStringLength(s);
    env->ReleaseStringChars(s, env->GetStringChars(s, nullptr));
    EXPECT_EQ(vm.calls(), (std::vector<std::string>{"GetStringLength", "GetStringChars", "ReleaseStringChars"}));
    vm.clear_calls();
    EXPECT_TRUE(vm.calls().empty());
}

// ---- failures and exceptions ----------------------------------------------

TEST_F(FakeVmTest, RefusedCallsReturnNullWithOutOfMemoryPending) {
    jstring s = vm.string(u"s");
    jbyteArray a = vm.bytes({1});
    jboolean is_copy = JNI_FALSE;
    vm.refuse_string_chars(true);
    EXPECT_EQ(env->GetStringChars(s, &is_copy), nullptr);
    EXPECT_EQ(is_copy, JNI_FALSE);
    EXPECT_EQ(vm.exception_class(), "java/lang/OutOfMemoryError");
    EXPECT_TRUE(env->ExceptionCheck());
    env->ExceptionClear();
    EXPECT_FALSE(vm.exception_pending());
    EXPECT_EQ(env->GetStringUTFChars(s, nullptr), nullptr);
    env->ExceptionClear();

    vm.refuse_string_chars_after(1);
    const jchar *first = env->GetStringChars(s, nullptr);
    EXPECT_NE(first, nullptr);
    EXPECT_EQ(env->GetStringChars(s, nullptr), nullptr);
    EXPECT_TRUE(env->ExceptionCheck());
    env->ReleaseStringChars(s, first); // legal with the exception pending
    env->ExceptionClear();
    vm.refuse_string_chars(false);
    env->ReleaseStringChars(s, env->GetStringChars(s, nullptr));

    vm.refuse_array_elements(true);
    EXPECT_EQ(env->GetByteArrayElements(a, nullptr), nullptr);
    env->ExceptionClear();
    vm.refuse_new_strings(true);
    EXPECT_EQ(env->NewStringUTF("x"), nullptr);
    EXPECT_TRUE(vm.exception_pending());
    env->ExceptionClear();
    EXPECT_VM_CLEAN(vm);
}

TEST_F(FakeVmTest, CallsWithPendingExceptionAreReported) {
    jstring s = vm.string(u"s");
    jclass iae = env->FindClass("java/lang/IllegalArgumentException");
    ASSERT_EQ(env->ThrowNew(iae, "bad move"), 0);
    EXPECT_EQ(vm.exception_class(), "java/lang/IllegalArgumentException");
    EXPECT_EQ(vm.exception_message(), "bad move");
    env->ExceptionCheck();
    env->DeleteLocalRef(iae);
    EXPECT_VM_CLEAN(vm) << "checking and cleanup are allowed while pending";

    env->GetStringLength(s);
    EXPECT_TRUE(Reported("GetStringLength: JNI call with a pending exception"));
}

TEST_F(FakeVmTest, CallsInsideCriticalRegionAreReported) {
    jstring s = vm.string(u"s");
    const jchar *chars = env->GetStringCritical(s, nullptr);
    ASSERT_NE(chars, nullptr);
    env->GetStringLength(s);
    EXPECT_TRUE(Reported("GetStringLength: JNI call inside a critical region"));
    env->ReleaseStringCritical(s, chars);
    EXPECT_EQ(vm.violations().size(), 1u);
    env->GetStringLength(s);
    EXPECT_EQ(vm.violations().size(), 1u);
}

TEST_F(FakeVmTest, BadReferencesAreReportedNotFollowed) {
    jbyteArray a = vm.bytes({1});
    EXPECT_EQ(env->GetStringChars(nullptr, nullptr), nullptr);
    EXPECT_TRUE(Reported("GetStringChars: null jstring"));
    EXPECT_EQ(env->GetArrayLength(nullptr), 0);
    EXPECT_EQ(env->GetByteArrayElements(nullptr, nullptr), nullptr);
    EXPECT_EQ(env->GetStringLength(reinterpret_cast<jstring>(a)), 0);
    EXPECT_TRUE(Reported("GetStringLength: argument is not a jstring"));
    env->DeleteLocalRef(a);
    EXPECT_EQ(env->GetArrayLength(a), 0);
    EXPECT_TRUE(Reported("deleted local reference"));
    EXPECT_EQ(vm.violations().size(), 5u);
    EXPECT_FALSE(vm.exception_pending());
}

// ---- the table ------------------------------------------------------------

using Slot = void(JNICALL *)(JNIEnv *);

Slot SlotAt(JNIEnv *env, std::size_t index) {
    Slot slot;
    std::memcpy(&slot, reinterpret_cast<const unsigned char *>(env->functions) + index * sizeof slot, sizeof slot);
    return slot;
}

TEST(FakeVmTable, EverySlotIsFilledAndHasItsOwnName) {
    FakeVm vm;
    std::set<std::string> names;
    for (std::size_t i = 0; i < FakeVm::slot_count(); ++i) {
        EXPECT_NE(SlotAt(vm.env(), i), nullptr) << "slot " << i;
        const char *name = FakeVm::slot_name(i);
        ASSERT_NE(name, nullptr) << "slot " << i << " of this jni.h has no name";
        names.insert(name);
    }
    EXPECT_EQ(names.size(), FakeVm::slot_count());
}

TEST(FakeVmDeathTest, UnimplementedSlotsAbortNamingThemselves) {
    FakeVm vm;
    JNIEnv *env = vm.env();
    EXPECT_DEATH(env->GetObjectClass(nullptr), "#31 \\(GetObjectClass\\) is not implemented");
    const std::size_t last = FakeVm::slot_count() - 1;
    EXPECT_DEATH(SlotAt(env, last)(env), FakeVm::slot_name(last));
}

} // namespace
