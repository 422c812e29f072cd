package com.quenbrook.ravo.tessel.ai;

import static org.junit.jupiter.api.Assertions.assertNotNull;
import static org.junit.jupiter.api.Assertions.assertTrue;

/**
 * The test modules' paths, given to the test JVM as system properties by the
 * build, and the one way the tests load a module, so that the test of the
 * never-loaded bridge can tell whether another test got there first.
 */
final class Modules {
    static final String TARROWBY = "tessel.test.module.tarrowby";
    static final String PARTIAL = "tessel.test.module.partial";
    static final String WIDE_BOOL = "tessel.test.module.wide_bool";
    static final String THROWING = "tessel.test.module.throwing";

    private static boolean anyLoaded;

    private Modules() {}

    static String path(String property) {
        String path = System.getProperty(property);
        assertNotNull(path, "system property " + property + " is not set");
        return path;
    }

    static void load(String property) {
        anyLoaded = true;
        String path = path(property);
        assertTrue(NativeAIBridge.initializeLibrary(path), "initializeLibrary(" + path + ")");
    }

    static boolean anyLoaded() {
        return anyLoaded;
    }
}
