// The exported native methods of com.quenbrook.ravo.tessel.ai.NativeAIBridge:
// initializeLibrary, and one per module function of the contract's list.
#include "forwarding.hpp"

using namespace vantrell;

extern "C" JNIEXPORT jboolean JNICALL Java_com_quenbrook_ravo_tessel_ai_NativeAIBridge_initializeLibrary(JNIEnv *env,
                                                                                                         jclass,
                                                                                                         jstring path) {
    return module_slot::load(env, path) ? JNI_TRUE : JNI_FALSE;
}

#define VANTRELL_JAVA_PARAM(kind, name) , java_param_t<param_##kind> name
#define VANTRELL_ARG(kind, name) , Arg<param_##kind>(name)
#define VANTRELL_NATIVE_METHOD(result, name, bytes, params, missing)                                                   \
    extern "C" JNIEXPORT java_result_t<kind_##result> JNICALL Java_com_quenbrook_ravo_tessel_ai_NativeAIBridge_##name( \
        JNIEnv *env, jclass AI_PARAMS(bytes, params, , VANTRELL_JAVA_PARAM, VANTRELL_JAVA_PARAM)) {                    \
        return NativeMethod<fn::name>::call(env AI_PARAMS(bytes, params, , VANTRELL_ARG, VANTRELL_ARG));               \
    }
AI_MODULE_FUNCTIONS(VANTRELL_NATIVE_METHOD)
