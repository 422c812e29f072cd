#include "system_property.hpp"

#include "jni_guards.hpp"

namespace vantrell {

std::optional<std::vector<std::uint16_t>> system_property(JNIEnv *env, const char *name) {
    const LocalRef<jclass> system(env, env->FindClass("java/lang/System"));
    jmethodID get_property =
        system.get() ? env->GetStaticMethodID(system.get(), "getProperty", "(Ljava/lang/String;)Ljava/lang/String;")
                     : nullptr;
    const LocalRef<jstring> key(env, get_property ? env->NewStringUTF(name) : nullptr);
    jvalue argument{};
    argument.l = key.get();
    const LocalRef<jstring> value(
        env, key.get() ? static_cast<jstring>(env->CallStaticObjectMethodA(system.get(), get_property, &argument))
                       : nullptr);
    if (env->ExceptionCheck()) {
        env->ExceptionClear();
        return std::nullopt;
    }
    if (!value.get())
        return std::nullopt;
    StringChars chars;
    if (!chars.acquire(env, value.get())) {
        env->ExceptionClear();
        return std::nullopt;
    }
    static_assert(sizeof(jchar) == sizeof(std::uint16_t), "jchar is a UTF-16 unit");
    const auto *units = reinterpret_cast<const std::uint16_t *>(chars.data());
    return std::vector<std::uint16_t>(units, units + chars.length());
}

std::vector<std::vector<std::uint16_t>> split(const std::vector<std::uint16_t> &value, std::uint16_t separator) {
    std::vector<std::vector<std::uint16_t>> parts(1);
    for (std::uint16_t unit : value) {
        if (unit != separator)
            parts.back().push_back(unit);
        else if (!parts.back().empty())
            parts.emplace_back();
    }
    if (parts.back().empty())
        parts.pop_back();
    return parts;
}

std::uint32_t milliseconds(const std::optional<std::vector<std::uint16_t>> &value) {
    if (!value || value->empty() || value->size() > 10)
        return 0;
    std::uint64_t number = 0;
    for (std::uint16_t unit : *value) {
        if (unit < u'0' || unit > u'9')
            return 0;
        number = number * 10 + (unit - u'0');
    }
    return number <= 0x7FFFFFFF ? static_cast<std::uint32_t>(number) : 0;
}

} // namespace vantrell
