package com.quenbrook.ravo.tessel.bench;

/**
 * The benchmark's own JNI library (bench_jni.cpp), loaded from the path in
 * the system property {@code vantrell.bench.jni}.
 */
final class BareNative {
    static {
        System.load(Bench.requiredProperty("vantrell.bench.jni"));
    }

    private BareNative() {}

    /** Does nothing: the cost of a JNI call and nothing else. */
    static native void nothing();

    /** One malloc and one free, to check that the allocation counter counts. */
    static native void allocateOnce();

    /** Whether the allocation counting library is preloaded. */
    static native boolean countingAvailable();

    /** Starts counting this thread's heap calls. */
    static native void countBegin();

    /** Stops counting; {@code out[0]} allocations, {@code out[1]} releases. */
    static native void countEnd(long[] out);

    static native String libcVersion();

    /** Pieces of the bridge's forwarding path; keep in step with bench_jni.cpp. */
    enum Component {
        FIND_EXPORT_HIT("bridge lookup, found: the module's own export table", false),
        FIND_EXPORT_MISS("bridge lookup, missing: the module's own export table", false),
        FIND_EXPORT_HIT_LARGE("bridge lookup, found, module with 20,000 more exports", true),
        FORMER_LOOKUP_HIT("former lookup, found: dlsym + dlinfo + dladdr1", false),
        FORMER_LOOKUP_HIT_LARGE("former lookup, found, module with 20,000 more exports", true),
        DLSYM_HIT("dlsym alone, found", false),
        DLSYM_MISS("dlsym alone, missing", false),
        STRING_UTF_CHARS("Get/ReleaseStringUTFChars (initialize's text)", false),
        STRING_UTF_REGION("GetStringUTFRegion into a stack buffer (alternative)", false),
        BYTE_ARRAY_ELEMENTS("GetArrayLength + Get/ReleaseByteArrayElements (getAIMove)", false),
        BYTE_ARRAY_REGION("GetArrayLength + SetByteArrayRegion (alternative)", false),
        NEW_STRING_UTF("NewStringUTF (getPublicName's answer)", false);

        final String label;
        /** Whether it runs against the module with 20,000 more exports. */
        final boolean large;

        Component(String label, boolean large) {
            this.label = label;
            this.large = large;
        }
    }

    /**
     * Times {@code iterations} repetitions of a component in C; elapsed
     * nanoseconds or -1. Then counts {@code counted} more into
     * {@code counts} (allocations, releases), or sets both to -1.
     */
    static native long component(int which, String modulePath, String text, byte[] move, int iterations,
            int counted, long[] counts);
}
