// Strings and move records crossing between the host's objects and the
// module.
#include "bridge_fixture.hpp"

namespace bridge_test {
namespace {

class Marshalling : public BridgeTest {
protected:
    void SetUp() override {
        BridgeTest::SetUp();
        ASSERT_TRUE(load(SCRIPTED_MODULE_PATH));
        clear_move_buffer();
        vm.clear_calls();
    }
    // The bridge keeps the last move a module wrote; a test starts from
    // zeros whatever ran before it in the process. A VM of its own keeps
    // this test's VM record clean.
    void clear_move_buffer() {
        script_move({0, 0, 0, 0, 0}, 0x1F);
        fakejvm::FakeVm other;
        b.getAIMove(other.env(), other.klass(), other.bytes({0, 0, 0, 0, 0}));
        probe_reset();
    }
    void script_move(std::vector<uint8_t> bytes, unsigned mask) { probe_set_move(bytes.data(), mask); }
};

TEST_F(Marshalling, TextInIsLentForTheCallAndReleasedAfterIt) {
    probe_set_answer("initialize", 2);
    EXPECT_EQ(b.initialize(env, cls, vm.string(std::string("level 3"))), JNI_TRUE);
    b.setAIUsername(env, cls, vm.string(std::string("Computer")));
    b.setOpponentUsername(env, cls, vm.string(std::string("Ann")));
    EXPECT_EQ(b.newGameCreated(env, cls, vm.string(std::string("Ann")), 3), JNI_FALSE);
    EXPECT_EQ(module_calls(), (Calls{"initialize(level 3)", "setAIUsername(Computer)", "setOpponentUsername(Ann)",
                                     "newGameCreated(Ann,3)"}));
    EXPECT_EQ(vm.outstanding(), 0u);
    EXPECT_EQ(vm.calls(),
              (std::vector<std::string>{"GetStringUTFChars", "ReleaseStringUTFChars", "GetStringUTFChars",
                                        "ReleaseStringUTFChars", "GetStringUTFChars", "ReleaseStringUTFChars",
                                        "GetStringUTFChars", "ReleaseStringUTFChars"}));
}

// The VM's calls and the module's in one order, as the bridge must keep
// it: getAIMove calls the module before it touches the array; illegalMove
// and the text methods take from the VM, call the module, then release.
TEST_F(Marshalling, CallsTheVmAndTheModuleInTheirOrder) {
    script_move({1, 2, 3, 4, 5}, 0x1F);
    jbyteArray out = vm.bytes({0, 0, 0, 0, 0});
    jbyteArray in = vm.bytes({6, 7, 8, 9, 10});
    jstring owner = vm.string(std::string("Ann"));
    sequence.clear();
    b.getAIMove(env, cls, out);
    b.illegalMove(env, cls, in);
    b.newGameCreated(env, cls, owner, 3);
    b.getPublicName(env, cls);
    EXPECT_EQ(sequence, (std::vector<std::string>{
                            "module getAIMove([0 0 0 0 0])", "JNI GetArrayLength", "JNI GetByteArrayElements",
                            "JNI ReleaseByteArrayElements", //
                            "JNI GetArrayLength", "JNI GetByteArrayElements", "module illegalMove([6 7 8 9 10])",
                            "JNI ReleaseByteArrayElements", //
                            "JNI GetStringUTFChars", "module newGameCreated(Ann,3)", "JNI ReleaseStringUTFChars",
                            "module getPublicName()", "JNI NewStringUTF"}));
}

TEST_F(Marshalling, TextInArrivesInModifiedUtf8) {
    b.setAIUsername(env, cls, vm.string(std::u16string(u"a\0b", 3)));
    b.setAIUsername(env, cls, vm.string(std::u16string(u"\u00E9\U0001F600")));
    EXPECT_EQ(module_calls(), (Calls{"setAIUsername(a\xC0\x80"
                                     "b)",
                                     "setAIUsername(\xC3\xA9\xED\xA0\xBD\xED\xB8\x80)"}));
}

TEST_F(Marshalling, NullOrRefusedTextGivesTheDefaultWithoutCallingTheModule) {
    probe_set_answer("initialize", 1);
    probe_set_answer("newGameCreated", 1);
    EXPECT_EQ(b.initialize(env, cls, nullptr), JNI_FALSE);
    EXPECT_EQ(b.newGameCreated(env, cls, nullptr, 3), JNI_FALSE);
    b.setAIUsername(env, cls, nullptr);
    jstring name = vm.string(std::string("Ann"));
    vm.refuse_string_chars(true);
    EXPECT_EQ(b.initialize(env, cls, name), JNI_FALSE);
    EXPECT_TRUE(vm.exception_pending());
    vm.clear_exception();
    b.setOpponentUsername(env, cls, name);
    vm.clear_exception();
    EXPECT_EQ(module_calls(), Calls{});
}

TEST_F(Marshalling, TextOutBecomesANewJavaStringAndNullStaysNull) {
    probe_set_text("getPublicName", "Computer \xC3\xA9\xC0\x80");
    probe_set_text("getPreGameChat", nullptr);
    probe_set_text("getPostGameChat", "");
    jstring name = b.getPublicName(env, cls);
    ASSERT_NE(name, nullptr);
    EXPECT_EQ(vm.modified_utf8(name), "Computer \xC3\xA9\xC0\x80");
    EXPECT_EQ(vm.utf16(name), std::u16string(u"Computer \u00E9\0", 11));
    EXPECT_EQ(b.getPreGameChat(env, cls), nullptr);
    jstring empty = b.getPostGameChat(env, cls);
    ASSERT_NE(empty, nullptr);
    EXPECT_EQ(vm.utf16(empty), u"");
}

TEST_F(Marshalling, TextOutTheVmCannotMakeIsNull) {
    vm.refuse_new_strings(true);
    EXPECT_EQ(b.getPublicName(env, cls), nullptr);
    EXPECT_EQ(module_calls(), Calls{"getPublicName()"});
    vm.clear_exception();
}

TEST_F(Marshalling, AIMoveFillsTheFirstFiveElementsOnly) {
    script_move({1, 200, 3, 4, 0}, 0x1F);
    jbyteArray move = vm.bytes({-1, -1, -1, -1, -1, 77, 78});
    b.getAIMove(env, cls, move);
    EXPECT_EQ(vm.contents(move), (std::vector<int8_t>{1, -56, 3, 4, 0, 77, 78}));
    EXPECT_EQ(vm.array_release_modes(), std::vector<jint>{0});
}

TEST_F(Marshalling, AIMoveKeepsTheBytesAModuleLeavesUnwritten) {
    script_move({10, 20, 30, 40, 50}, 0x1F);
    jbyteArray first = vm.bytes({0, 0, 0, 0, 0});
    b.getAIMove(env, cls, first);
    script_move({0, 0, 0, 0, 0}, 0);
    jbyteArray second = vm.bytes({-1, -1, -1, -1, -1});
    b.getAIMove(env, cls, second);
    EXPECT_EQ(vm.contents(second), (std::vector<int8_t>{10, 20, 30, 40, 50}));
    script_move({0, 99, 0, 0, 0}, 0x02);
    jbyteArray third = vm.bytes({0, 0, 0, 0, 0});
    b.getAIMove(env, cls, third);
    EXPECT_EQ(vm.contents(third), (std::vector<int8_t>{10, 99, 30, 40, 50}));
    // The module is handed the buffer, not the host's array.
    EXPECT_EQ(module_calls(),
              (Calls{"getAIMove([0 0 0 0 0])", "getAIMove([10 20 30 40 50])", "getAIMove([10 20 30 40 50])"}));
}

TEST_F(Marshalling, AIMoveCallsTheModuleBeforeTouchingTheArray) {
    script_move({1, 2, 3, 4, 5}, 0x1F);
    jbyteArray move = vm.bytes({9, 9, 9, 9, 9});
    vm.refuse_array_elements(true);
    b.getAIMove(env, cls, move);
    EXPECT_EQ(module_calls(), Calls{"getAIMove([0 0 0 0 0])"});
    EXPECT_EQ(vm.contents(move), (std::vector<int8_t>{9, 9, 9, 9, 9}));
    vm.clear_exception();
}

TEST_F(Marshalling, IllegalMoveWorksOnTheHostsElements) {
    script_move({0, 0, 0, 0, 201}, 0x10);
    probe_set_answer("illegalMove", 0xA7);
    jbyteArray move = vm.bytes({10, 20, -56, 40, 50, 60});
    EXPECT_EQ(b.illegalMove(env, cls, move), 0xA7);
    EXPECT_EQ(module_calls(), Calls{"illegalMove([10 20 200 40 50])"});
    EXPECT_EQ(vm.contents(move), (std::vector<int8_t>{10, 20, -56, 40, -55, 60}));
    EXPECT_EQ(vm.array_release_modes(), std::vector<jint>{0});
    probe_set_answer("illegalMove", 0);
    EXPECT_EQ(b.illegalMove(env, cls, move), JNI_FALSE);
}

// getAIMove calls the module before it looks at the array, so an array
// that cannot hold the move (null or short) is only left as it was; the
// move stays in the buffer for the next array. illegalMove refuses such an
// array without a module call: the module would read past its end.
TEST_F(Marshalling, MoveArraysThatCannotHoldAMoveAreLeftAsTheyWere) {
    script_move({1, 2, 3, 4, 5}, 0x1F);
    probe_set_answer("illegalMove", 1);
    for (size_t length = 0; length < 5; ++length) {
        std::vector<int8_t> original(length, 7);
        jbyteArray move = vm.bytes(original);
        b.getAIMove(env, cls, move);
        EXPECT_EQ(b.illegalMove(env, cls, move), JNI_FALSE);
        EXPECT_EQ(vm.contents(move), original) << "length " << length;
    }
    b.getAIMove(env, cls, nullptr);
    EXPECT_EQ(b.illegalMove(env, cls, nullptr), JNI_FALSE);
    Calls expected(6, "getAIMove([1 2 3 4 5])");
    expected[0] = "getAIMove([0 0 0 0 0])";
    EXPECT_EQ(module_calls(), expected) << "getAIMove only, once per call";
    EXPECT_EQ(vm.outstanding(), 0u);

    script_move({9, 9, 9, 9, 9}, 0);
    jbyteArray whole = vm.bytes({0, 0, 0, 0, 0});
    b.getAIMove(env, cls, whole);
    EXPECT_EQ(vm.contents(whole), (std::vector<int8_t>{1, 2, 3, 4, 5})) << "the buffer kept the last move";
}

TEST_F(Marshalling, IllegalMoveWithElementsRefusedIsFalseWithoutAModuleCall) {
    probe_set_answer("illegalMove", 1);
    jbyteArray move = vm.bytes({1, 2, 3, 4, 5});
    vm.refuse_array_elements(true);
    EXPECT_EQ(b.illegalMove(env, cls, move), JNI_FALSE);
    EXPECT_EQ(module_calls(), Calls{});
    vm.clear_exception();
}

} // namespace
} // namespace bridge_test
