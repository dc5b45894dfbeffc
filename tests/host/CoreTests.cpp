// Per-core singletons and plug-in modules loaded into a core.

#include "HostTestSupport.h"

#include "Ondo/Core.h"
#include "Ondo/FlowGraph/FilterRegistry.h"
#include "Ondo/Plugin.h"

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::vector<std::string> s_Destroyed;

struct FirstService : Ondo::DependentSingleton<FirstService> {
    static constexpr const char* SingletonKey = "Test::FirstService";
    explicit FirstService(Ondo::Core& core) : DependentSingleton(core) {}
    ~FirstService() override { s_Destroyed.push_back("first"); }
};

struct SecondService : Ondo::DependentSingleton<SecondService> {
    static constexpr const char* SingletonKey = "Test::SecondService";
    explicit SecondService(Ondo::Core& core) : DependentSingleton(core) {}
    ~SecondService() override { s_Destroyed.push_back("second"); }
};

} // namespace

TEST(Core, SingletonsAreMadeOncePerCoreAndDestroyedInReverse)
{
    s_Destroyed.clear();
    {
        Ondo::Core core;
        Ondo::Core otherCore;
        EXPECT_FALSE(Ondo::DependentSingletonBase::GetDependentEntry(core, "Test::FirstService"));

        SecondService& second = SecondService::Get(core);
        FirstService& first = FirstService::Get(core);
        EXPECT_EQ(&first, &FirstService::Get(core));
        EXPECT_EQ(&second, &SecondService::Get(core));
        EXPECT_EQ(&first.GetCore(), &core);
        EXPECT_NE(&first, &FirstService::Get(otherCore));
        EXPECT_EQ(Ondo::DependentSingletonBase::GetDependentEntry(core, "Test::FirstService").get(), &first);

        // A filled slot is never replaced.
        Ondo::DependentSingletonBase::Entry pIntruder(new FirstService(core),
                                                      [](Ondo::DependentSingletonBase* p) { delete p; });
        EXPECT_EQ(OndoTest::Thrown([&] {
                      Ondo::DependentSingletonBase::AddEntry(core, std::move(pIntruder), "Test::FirstService");
                  }),
                  "The core holds a singleton \"Test::FirstService\" already");
        EXPECT_EQ(&first, &FirstService::Get(core));
        s_Destroyed.clear(); // the refused intruder was destroyed with its owning pointer
    }
    // otherCore goes first (declared last), then core: second was made before first.
    EXPECT_EQ(s_Destroyed, (std::vector<std::string>{"first", "first", "second"}));
}

TEST(Core, LoadsThePluginAndRegistersIntoTheCoreRegistry)
{
    Ondo::Core core;
    const Ondo::PluginDescription& description = core.LoadPlugin(PRISMVALE_MODULE_PATH);
    EXPECT_EQ(std::make_tuple(description.m_strName, description.m_iInterfaceVersion, description.m_strDescription,
                              bool(description.m_fnLoad), bool(description.m_fnBeforeRelease),
                              bool(description.m_fnUnload), description.m_uiFlags),
              std::make_tuple("Prismvale", 16, "Flowgraph filter regarding OpenGL", true, false, true, 0u));

    const auto& slot = Ondo::DependentSingletonBase::GetDependentEntry(core, "Ondo::FlowGraph::FilterRegistry");
    ASSERT_TRUE(slot);
    EXPECT_EQ(slot.get(), &Ondo::FlowGraph::FilterRegistry::Get(core));
}

TEST(Core, PluginLoadReusesARegistryTheCoreAlreadyHas)
{
    Ondo::Core core;
    auto& registry = Ondo::FlowGraph::FilterRegistry::Get(core);
    registry.RegisterFilter({"Engine.Own", "src\\EngineOwn", "made by the engine", "Engine;", nullptr});
    core.LoadPlugin(PRISMVALE_MODULE_PATH);
    core.LoadPlugin(PRISMVALE_MODULE_PATH); // a second load replaces entries with identical ones

    EXPECT_EQ(&Ondo::FlowGraph::FilterRegistry::Get(core), &registry);
    ASSERT_NE(registry.FindFilter("Engine.Own"), nullptr);
    EXPECT_EQ(registry.FindFilter("Engine.Own")->m_strDescription, "made by the engine");
}

TEST(Core, ModuleExportsOnlyItsEntryPoint)
{
    void* pHandle = dlopen(PRISMVALE_MODULE_PATH, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(pHandle, nullptr) << dlerror();
    auto fnGet = reinterpret_cast<Ondo::GetPluginDescriptionFunction>(dlsym(pHandle, "GetPluginDescription"));
    ASSERT_NE(fnGet, nullptr);
    // The same static record on every call.
    EXPECT_EQ(fnGet(), fnGet());
    EXPECT_EQ(dlsym(pHandle, "_ZN9Prismvale12LoadIntoCoreERN4Ondo4CoreE"), nullptr);
    EXPECT_EQ(dlsym(pHandle, "_ZN9Prismvale17GetDescriptorListEv"), nullptr);
    dlclose(pHandle);
}

TEST(Core, RefusesModulesItCannotUse)
{
    Ondo::Core core;
    const std::string strMissing = OndoTest::Thrown([&] { core.LoadPlugin("/nonexistent/Missing.so"); });
    EXPECT_EQ(strMissing.rfind("Could not load the plug-in /nonexistent/Missing.so: ", 0), 0u) << strMissing;

    // The engine library itself is loadable but is no plug-in.
    const std::string strEngine = std::string(PRISMVALE_MODULE_PATH);
    const std::string strLibrary = strEngine.substr(0, strEngine.rfind('/') + 1) + "libondo.so";
    EXPECT_EQ(OndoTest::Thrown([&] { core.LoadPlugin(strLibrary); }),
              "The plug-in " + strLibrary + " does not export GetPluginDescription");
}
