// The host's settings for isolation, read as the host set them
// (System.getProperty) at the moment of a load, so that a host may change
// them between loads. Only the bridge built for isolation reads any.
#pragma once

#include <jni.h>

#include <cstdint>
#include <optional>
#include <vector>

namespace vantrell {

// The property's value as UTF-16 units, or nothing when it is unset or the
// VM cannot hand it out (an exception the lookup raised is cleared: the
// property counts as unset).
std::optional<std::vector<std::uint16_t>> system_property(JNIEnv *env, const char *name);

// The value split at each `separator` unit, empty parts left out.
std::vector<std::vector<std::uint16_t>> split(const std::vector<std::uint16_t> &value, std::uint16_t separator);

// A property's value as a count of milliseconds: a decimal number from 0
// to 2^31 - 1, else 0.
std::uint32_t milliseconds(const std::optional<std::vector<std::uint16_t>> &value);

} // namespace vantrell
