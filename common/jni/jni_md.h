#ifndef _JAVASOFT_JNI_MD_H_
#define _JAVASOFT_JNI_MD_H_
// Machine-dependent JNI types for Windows, as the Windows JDK defines them.
// A library that lists its exports in a module-definition file defines JNIEXPORT empty, so
// that only the decorated names of that file reach its export table.

#ifndef JNIEXPORT
#define JNIEXPORT __declspec(dllexport)
#endif
#define JNIIMPORT __declspec(dllimport)
#define JNICALL __stdcall

typedef long jint;
typedef long long jlong;
typedef signed char jbyte;

#endif /* !_JAVASOFT_JNI_MD_H_ */
