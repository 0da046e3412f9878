#pragma once
// One temporary configuration folder for a whole test run: the settings store keeps the
// folder it saw first.
#include <gtest/gtest.h>

#include <QTemporaryDir>

class ConfigHome : public ::testing::Environment {
public:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        qputenv("XDG_CONFIG_HOME", dir.path().toUtf8());
    }
    QTemporaryDir dir;
};

inline ConfigHome* const g_config =
    static_cast<ConfigHome*>(::testing::AddGlobalTestEnvironment(new ConfigHome));
