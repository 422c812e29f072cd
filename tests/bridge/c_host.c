/*
 * A host with no C++ in it, as the Java VM's launcher is: it loads the
 * bridge and has it play two builds of throwing_module (tests/modules), one
 * with GCC's shared runtime, as modules built elsewhere may be, and one with
 * the runtime linked in, as add_ai_module builds them, in one process and
 * in both orders. On x86 the bridge brings GCC's shared unwinder
 * (libgcc_s_dw2-1.dll) into the process, which once cost a module with an
 * unwinder of its own every exception it threw; a program that loads the
 * C++ runtime itself, as the GoogleTest suite does, would hide what the
 * bridge alone brings.
 *   (a) the own-runtime module throws and catches an exception inside it;
 *   (b) its endGame throws: its own catch takes it;
 *   (c) the shared-runtime module's endGame throws a GCC exception: the
 *       bridge's guard takes it;
 *   (d) the shared-runtime module's endGame raises the native compiler's C++
 *       exception: the guard takes it;
 *   and a write to an unmapped address in endGame is not the bridge's to
 *   catch, so the process ends with it. That runs in a child process, this
 *   program again with "fault" as its fourth argument.
 * Windows only; exit status 0 when all of that holds.
 *
 *   c_host <bridge.dll> <shared-runtime module.dll> <own-runtime module.dll> [fault]
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

static initialize_library_fn initialize_library;
static end_game_fn end_game;
static option_fn option;
static terminate_fn terminate;
static JNIEnv *env;

/* Has the bridge load the module at `path`; 0 when it did. */
static int load(const wchar_t *path) {
    struct host_string string = {(const jchar *)path, (jsize)wcslen(path)};
    if (initialize_library(env, NULL, (jstring)&string))
        return 0;
    fprintf(stderr, "the bridge did not load %ls\n", path);
    return 1;
}

/* endGame(result), after which the module must still answer; 0 when it does. */
static int end_game_returns(const char *what, jint result) {
    end_game(env, NULL, result, 0);
    jint answer = option(env, NULL, 41);
    if (answer != 42) {
        fprintf(stderr, "%s: after endGame(%ld) the module answered %ld, not 42\n", what, (long)result, (long)answer);
        return 1;
    }
    printf("%s: endGame(%ld) returned\n", what, (long)result);
    return 0;
}

/* (a) and (b), with the own-runtime module in the slot. */
static int own_runtime_keeps_its_exceptions(const char *when) {
    char what[160];
    jint answer = option(env, NULL, -5);
    if (answer != 5) {
        fprintf(stderr, "(a) %s: the module's own catch answered %ld, not 5\n", when, (long)answer);
        return 1;
    }
    printf("(a) %s: an exception thrown and caught inside the module\n", when);
    snprintf(what, sizeof what, "(b) %s: its endGame threw and its own catch took it", when);
    return end_game_returns(what, 1);
}

/* (c) and (d), with the shared-runtime module in the slot. */
static int guard_takes_shared_runtime_exceptions(const char *when) {
    char what[160];
    snprintf(what, sizeof what, "(c) %s: a GCC exception out of endGame, taken by the guard", when);
    if (end_game_returns(what, 1))
        return 1;
    snprintf(what, sizeof what, "(d) %s: the native compiler's exception out of endGame, taken by the guard", when);
    return end_game_returns(what, 2);
}

int wmain(int argc, wchar_t **argv) {
    int fault = argc == 5 && wcscmp(argv[4], L"fault") == 0;
    if (argc != 4 && !fault) {
        fputs("usage: c_host <bridge.dll> <shared-runtime module.dll> <own-runtime module.dll> [fault]\n", stderr);
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
    initialize_library = (initialize_library_fn)(void *)GetProcAddress(bridge, JNI_NAME("initializeLibrary", "12"));
    end_game = (end_game_fn)(void *)GetProcAddress(bridge, JNI_NAME("endGame", "16"));
    option = (option_fn)(void *)GetProcAddress(bridge, JNI_NAME("getCreateGameOption", "12"));
    terminate = (terminate_fn)(void *)GetProcAddress(bridge, JNI_NAME("terminate", "8"));
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
    env = &table;

    const wchar_t *shared_runtime = argv[2], *own_runtime = argv[3];
    if (fault) {
        if (load(shared_runtime))
            return 2;
        end_game(env, NULL, 4, 0);
        fputs("the fault in endGame did not end the process\n", stderr);
        return 0;
    }

    /* The own-runtime module first, then unloaded; the shared-runtime one,
     * left loaded (a second initializeLibrary leaves it in the process,
     * unreachable); the own-runtime module again, loaded beside it; the
     * shared-runtime one again. */
    if (load(own_runtime) || own_runtime_keeps_its_exceptions("first"))
        return 1;
    terminate(env, NULL);
    if (load(shared_runtime) || guard_takes_shared_runtime_exceptions("after the own-runtime module"))
        return 1;
    if (load(own_runtime) || own_runtime_keeps_its_exceptions("beside the shared-runtime module"))
        return 1;
    if (load(shared_runtime) || guard_takes_shared_runtime_exceptions("again"))
        return 1;
    terminate(env, NULL);
    puts("every exception stayed inside the module or was caught by the bridge");

    DWORD status = run_fault_child();
    if (status != (DWORD)EXCEPTION_ACCESS_VIOLATION) {
        fprintf(stderr, "a fault in endGame ended the child with 0x%08lX, not 0x%08lX\n", (unsigned long)status,
                (unsigned long)EXCEPTION_ACCESS_VIOLATION);
        return 1;
    }
    puts("the fault in endGame ended the process, untouched by the bridge");
    return 0;
}
