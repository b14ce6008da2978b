#pragma once

#include <cctype>
#include <string>

#include <gtest/gtest.h>

namespace bco {

// Names a parameterised case after its `name` member, so that a failure reads as the sentence the table
// gives it ("agency keeps its hyphen" runs as agency_keeps_its_hyphen).
struct CaseName {
    template <class Case> std::string operator()(const ::testing::TestParamInfo<Case> &info) const {
        std::string name;
        for (const char *c = info.param.name; *c; ++c)
            name += (std::isalnum(static_cast<unsigned char>(*c)) ? *c : '_');
        return name;
    }
};

} // namespace bco
