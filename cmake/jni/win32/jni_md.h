/*
 * The machine-dependent part of jni.h for Windows (x86 and x64), for building
 * against a JDK that carries only another platform's copy (a cross build).
 * Put this folder on the include path after the JDK's include folder.
 */
#ifndef _JAVASOFT_JNI_MD_H_
#define _JAVASOFT_JNI_MD_H_

/* A library whose exports are named by a module-definition file defines
 * JNIEXPORT as empty first, so that the compiler adds no second name. */
#ifndef JNIEXPORT
#define JNIEXPORT __declspec(dllexport)
#endif
#define JNIIMPORT __declspec(dllimport)

/* On x86 the VM calls native methods callee-cleans, with decorated names
 * ("_Java_..._method@N"); x64 compilers ignore __stdcall (one convention,
 * no decoration). */
#define JNICALL __stdcall

typedef long jint; /* 32 bits on Windows, as in the VM's own header */
typedef long long jlong;
typedef signed char jbyte;

#endif /* !_JAVASOFT_JNI_MD_H_ */
