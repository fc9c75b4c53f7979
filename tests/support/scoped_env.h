// Sets or removes an environment variable for the life of a scope.
#pragma once

#include <cstdlib>
#include <optional>
#include <string>

namespace fhsw::test {

struct ScopedEnv {
    const char* name;
    std::optional<std::string> old;
    ScopedEnv(const char* n, const char* value) : name(n) {
        if (const char* o = std::getenv(n)) old = o;
        value ? ::setenv(n, value, 1) : ::unsetenv(n);
    }
    ~ScopedEnv() { old ? ::setenv(name, old->c_str(), 1) : ::unsetenv(name); }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;
};

}  // namespace fhsw::test
