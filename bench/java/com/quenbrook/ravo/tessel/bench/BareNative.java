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
        FIND_EXPORT_HIT("bridge lookup, found: dlsym + ownership check"),
        FIND_EXPORT_MISS("bridge lookup, missing: dlsym + ownership check"),
        DLSYM_HIT("dlsym alone, found"),
        DLSYM_MISS("dlsym alone, missing"),
        OWNERSHIP_CHECK("ownership check alone: dlinfo + dladdr1"),
        STRING_UTF_CHARS("Get/ReleaseStringUTFChars (initialize's text)"),
        STRING_UTF_REGION("GetStringUTFRegion into a stack buffer (alternative)"),
        BYTE_ARRAY_ELEMENTS("GetArrayLength + Get/ReleaseByteArrayElements (getAIMove)"),
        BYTE_ARRAY_REGION("GetArrayLength + SetByteArrayRegion (alternative)"),
        NEW_STRING_UTF("NewStringUTF (getPublicName's answer)");

        final String label;

        Component(String label) {
            this.label = label;
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
