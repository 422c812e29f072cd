/*
 * A host with no C++ in it, as the Java VM's launcher is: it loads the
 * bridge and has it load throwing_module, whose endGame throws a C++
 * exception. The bridge must catch it, which on MinGW works only when the
 * bridge and the module unwind through one shared libgcc: a program that
 * loads the C++ runtime itself (the GoogleTest suite does) would hide a
 * bridge or module that carries a private copy. Windows only; exit status 0
 * when the exception was caught and the module still answers.
 *
 *   c_host <bridge.dll> <module.dll>
 */
#include <jni.h>
#include <windows.h>

#include <stdio.h>
#include <string.h>
#include <wchar.h>

/* The one kind of string this host hands the bridge: a path. */
struct host_string {
    const jchar *units;
    jsize length;
};

static jsize JNICALL get_string_length(JNIEnv *env, jstring string) {
    (void)env;
    return ((struct host_string *)string)->length;
}

static const jchar *JNICALL get_string_chars(JNIEnv *env, jstring string, jboolean *is_copy) {
    (void)env;
    if (is_copy)
        *is_copy = JNI_FALSE;
    return ((struct host_string *)string)->units;
}

static void JNICALL release_string_chars(JNIEnv *env, jstring string, const jchar *chars) {
    (void)env, (void)string, (void)chars;
}

typedef jboolean(JNICALL *initialize_library_fn)(JNIEnv *, jclass, jstring);
typedef void(JNICALL *end_game_fn)(JNIEnv *, jclass, jint, jint);
typedef jint(JNICALL *option_fn)(JNIEnv *, jclass, jint);
typedef void(JNICALL *terminate_fn)(JNIEnv *, jclass);

/* x86 decorates the JNICALL (__stdcall) names; x64 has no decoration. */
#ifdef _WIN64
#define JNI_NAME(method, bytes) "Java_com_quenbrook_ravo_tessel_ai_NativeAIBridge_" method
#else
#define JNI_NAME(method, bytes) "_Java_com_quenbrook_ravo_tessel_ai_NativeAIBridge_" method "@" bytes
#endif

int wmain(int argc, wchar_t **argv) {
    if (argc != 3) {
        fputs("usage: c_host <bridge.dll> <module.dll>\n", stderr);
        return 2;
    }
    HMODULE bridge = LoadLibraryW(argv[1]);
    if (!bridge) {
        fprintf(stderr, "cannot load the bridge (error %lu)\n", GetLastError());
        return 2;
    }
    initialize_library_fn initialize_library =
        (initialize_library_fn)(void *)GetProcAddress(bridge, JNI_NAME("initializeLibrary", "12"));
    end_game_fn end_game = (end_game_fn)(void *)GetProcAddress(bridge, JNI_NAME("endGame", "16"));
    option_fn option = (option_fn)(void *)GetProcAddress(bridge, JNI_NAME("getCreateGameOption", "12"));
    terminate_fn terminate = (terminate_fn)(void *)GetProcAddress(bridge, JNI_NAME("terminate", "8"));
    if (!initialize_library || !end_game || !option || !terminate) {
        fputs("the bridge lacks a native method\n", stderr);
        return 2;
    }

    struct JNINativeInterface_ functions;
    memset(&functions, 0, sizeof functions);
    functions.GetStringLength = get_string_length;
    functions.GetStringChars = get_string_chars;
    functions.ReleaseStringChars = release_string_chars;
    const struct JNINativeInterface_ *table = &functions;
    JNIEnv *env = &table;

    struct host_string path = {(const jchar *)argv[2], (jsize)wcslen(argv[2])};
    if (!initialize_library(env, NULL, (jstring)&path)) {
        fputs("the bridge did not load the module\n", stderr);
        return 2;
    }
    end_game(env, NULL, 1, 2);
    jint answer = option(env, NULL, 41);
    terminate(env, NULL);
    if (answer != 42) {
        fprintf(stderr, "after endGame the module answered %ld, not 42\n", (long)answer);
        return 1;
    }
    puts("endGame's exception was caught by the bridge");
    return 0;
}
