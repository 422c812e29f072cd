/*
 * A host with no C++ in it, as the Java VM's launcher is: it loads the
 * bridge and has it load throwing_module (tests/modules), then calls
 * endGame so that it
 *   - throws a GCC C++ exception: the bridge catches it only when the
 *     bridge and the module unwind through one shared libgcc (on x86); a
 *     program that loads the C++ runtime itself (the GoogleTest suite does)
 *     would hide a bridge or module that carries a private copy;
 *   - raises the native compiler's C++ exception: the bridge catches it;
 *   - writes to an unmapped address: the fault is not the bridge's to
 *     catch, so the process ends with it. That runs in a child process,
 *     this program again with "fault" as its third argument.
 * Windows only; exit status 0 when all of that holds.
 *
 *   c_host <bridge.dll> <module.dll> [fault]
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

/* This program run again with "fault" added; its exit status. */
static DWORD run_fault_child(void) {
    wchar_t command_line[32768];
    if (swprintf(command_line, sizeof command_line / sizeof command_line[0], L"%ls fault", GetCommandLineW()) < 0)
        return 2;
    STARTUPINFOW startup;
    PROCESS_INFORMATION process;
    memset(&startup, 0, sizeof startup);
    startup.cb = sizeof startup;
    if (!CreateProcessW(NULL, command_line, NULL, NULL, FALSE, 0, NULL, NULL, &startup, &process))
        return 2;
    DWORD status = 2;
    WaitForSingleObject(process.hProcess, INFINITE);
    GetExitCodeProcess(process.hProcess, &status);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return status;
}

int wmain(int argc, wchar_t **argv) {
    int fault = argc == 4 && wcscmp(argv[3], L"fault") == 0;
    if (argc != 3 && !fault) {
        fputs("usage: c_host <bridge.dll> <module.dll> [fault]\n", stderr);
        return 2;
    }
    /* A fault ends the child at once: no dialog, no debugger started. */
    if (fault)
        SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
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
    if (fault) {
        end_game(env, NULL, 4, 0);
        fputs("the fault in endGame did not end the process\n", stderr);
        return 0;
    }

    /* The module's endGame: a GCC throw (1), the native compiler's (2). */
    for (jint result = 1; result <= 2; ++result) {
        end_game(env, NULL, result, 0);
        jint answer = option(env, NULL, 41);
        if (answer != 42) {
            fprintf(stderr, "after endGame(%ld) the module answered %ld, not 42\n", (long)result, (long)answer);
            return 1;
        }
    }
    terminate(env, NULL);
    puts("the exceptions out of endGame were caught by the bridge");

    DWORD status = run_fault_child();
    if (status != (DWORD)EXCEPTION_ACCESS_VIOLATION) {
        fprintf(stderr, "a fault in endGame ended the child with 0x%08lX, not 0x%08lX\n", (unsigned long)status,
                (unsigned long)EXCEPTION_ACCESS_VIOLATION);
        return 1;
    }
    puts("the fault in endGame ended the process, untouched by the bridge");
    return 0;
}
