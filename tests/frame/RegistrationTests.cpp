// The module's descriptor list and its registration into a core.

#include "frame/DescriptorList.h"
#include "frame/PluginLoad.h"

#include "Ondo/Core.h"
#include "Ondo/FlowGraph/FilterRegistry.h"
#include "Ondo/OpenGL/BaseFilter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

using Ondo::FlowGraph::FilterDescriptor;
using Ondo::FlowGraph::FilterRegistry;

namespace {

class NamedFilter : public Ondo::OpenGL::BaseFilter {
public:
    NamedFilter(Ondo::Core& core, const std::string& strName) : BaseFilter(core, strName, strName) {}
    void CreatePorts() override {}
    void Process(Ondo::FlowGraph::ScopeExecuter&) override {}
};

class OtherFilter : public NamedFilter {
    using NamedFilter::NamedFilter;
};

// Appended during static initialisation, like every filter source file does.
const Prismvale::FilterRegistration<NamedFilter> s_Registration("Test.Named", "src\\NamedFilter",
                                                                "A filter that only has a name", "Test;Named;");

// Source file, description and keywords.
std::string Fields(const FilterDescriptor& d)
{
    return d.m_strSourceFile + "|" + d.m_strDescription + "|" + d.m_strKeywords;
}

// Puts the descriptor list back as it was when a test is done with it.
class DescriptorListTest : public ::testing::Test {
protected:
    void SetUp() override { m_Saved = Prismvale::GetDescriptorList(); }
    void TearDown() override { Prismvale::GetDescriptorList() = m_Saved; }

private:
    std::vector<FilterDescriptor> m_Saved;
};

} // namespace

TEST_F(DescriptorListTest, StaticRegistrationRecordsEveryFieldAndAWorkingFactory)
{
    const auto& list = Prismvale::GetDescriptorList();
    const auto it = std::find_if(list.begin(), list.end(),
                                 [](const FilterDescriptor& d) { return d.m_strName == "Test.Named"; });
    ASSERT_NE(it, list.end());
    const FilterDescriptor& descriptor = *it;
    EXPECT_EQ(Fields(descriptor), "src\\NamedFilter|A filter that only has a name|Test;Named;") << "trailing ';' kept";

    Ondo::Core core;
    std::unique_ptr<Ondo::FlowGraph::Filter> pFilter(descriptor.m_fnFactory(core, "instance 7"));
    ASSERT_NE(pFilter, nullptr);
    EXPECT_NE(dynamic_cast<NamedFilter*>(pFilter.get()), nullptr);
    EXPECT_EQ(pFilter->GetName(), "instance 7");
    EXPECT_EQ(pFilter->GetTitle(), "instance 7");
    EXPECT_EQ(&pFilter->GetCore(), &core);
    EXPECT_EQ(pFilter->GetNumberOfPorts(), 0u) << "construction creates no ports";
}

TEST_F(DescriptorListTest, LoadRegistersTheListInOrderSoLaterNamesWin)
{
    auto& list = Prismvale::GetDescriptorList();
    list.clear();
    Prismvale::FilterRegistration<NamedFilter>("Test.Same", "src\\A", "first", "A;");
    Prismvale::FilterRegistration<NamedFilter>("Test.Other", "src\\B", "other", "B;");
    Prismvale::FilterRegistration<OtherFilter>("Test.Same", "src\\C", "second", "C;");

    Ondo::Core core;
    Prismvale::LoadIntoCore(core);
    const FilterRegistry& registry = FilterRegistry::Get(core);
    EXPECT_EQ(registry.m_Filters.size(), 2u);
    const FilterDescriptor* pSame = registry.FindFilter("Test.Same");
    ASSERT_NE(pSame, nullptr);
    EXPECT_EQ(Fields(*pSame), "src\\C|second|C;");
    std::unique_ptr<Ondo::FlowGraph::Filter> pFilter(pSame->m_fnFactory(core, "x"));
    EXPECT_NE(dynamic_cast<OtherFilter*>(pFilter.get()), nullptr) << "the factory was replaced as well";

    // Loading again into the same core replaces entries with identical ones.
    Prismvale::LoadIntoCore(core);
    EXPECT_EQ(registry.m_Filters.size(), 2u);
    EXPECT_EQ(&FilterRegistry::Get(core), &registry);
}

TEST_F(DescriptorListTest, LoadUsesTheRegistryTheCoreAlreadyHas)
{
    Ondo::Core core;
    Ondo::DependentSingletonBase::Entry pRegistry(new FilterRegistry(core),
                                                  [](Ondo::DependentSingletonBase* p) { delete p; });
    FilterRegistry* pExisting = static_cast<FilterRegistry*>(pRegistry.get());
    pExisting->RegisterFilter({"Engine.Own", "", "", "", nullptr});
    pExisting->RegisterCtrlFlowFilter("Ctrl.Engine", nullptr);
    Ondo::DependentSingletonBase::AddEntry(core, std::move(pRegistry), "Ondo::FlowGraph::FilterRegistry");

    Prismvale::LoadIntoCore(core);
    EXPECT_EQ(&FilterRegistry::Get(core), pExisting);
    EXPECT_NE(pExisting->FindFilter("Engine.Own"), nullptr);
    EXPECT_NE(pExisting->FindFilter("Test.Named"), nullptr);
    EXPECT_NE(pExisting->FindCtrlFlowFilter("Ctrl.Engine"), nullptr);
}

TEST(DescriptorList, RegistersTheFiltersInThePluginsFixedOrder)
{
    // Every filter type of the plug-in, in the order the module registers
    // them (the order the build links the filter sources in).
    const std::vector<std::string> order = {
        "OpenGL.BufferAsPoints", "OpenGL.Texture.ChannelSelection", "OpenGL.Texture.CombineToAutostereoscopic",
        "OpenGL.ConstSamplerState", "OpenGL.ShowCoordinateSystem", "OpenGL.CubeMapFaceCopy",
        "OpenGL.CubeMapVisualizer", "OpenGL.Render.DeferredChromo", "OpenGL.Render.Deferred",
        "OpenGL.Texture.DepthToNormal", "OpenGL.Texture.DepthToViewSpacePosition", "OpenGL.NormalizeColors",
        "OpenGL.Texture.SimilarMultiSource2D", "OpenGL.TextRenderer", "OpenGL.FXAA", "OpenGL.GammaCorrection",
        "OpenGL.GenericDeferred", "OpenGL.Texture.LayerCopy", "OpenGL.Texture.LeanMap",
        "OpenGL.Texture.LoadCubeMapFromFile", "OpenGL.LogLuminance", "OpenGL.Texture.MultiSource3D",
        "OpenGL.SetVSynch", "OpenGL.Texture3D.TexelCopy", "OpenGL.Texture3D.MinMaxValue",
        "OpenGL.Texture.AbsDifference", "OpenGL.Texture.Add", "OpenGL.Texture.Blend", "OpenGL.Texture.LinearizeDepth",
        "OpenGL.Texture.LoadFromFile", "OpenGL.MakeRedCyan", "OpenGL.Texture.FromFloat", "OpenGL.MeshToBuffer",
        "OpenGL.Texture.MultiClear", "OpenGL.Texture.MultiSource2D", "OpenGL.NegativeImage", "OpenGL.ResampleImage",
        "OpenGL.ShadeBuffer", "OpenGL.Shade.SimpleMesh", "OpenGL.SSAO", "OpenGL.SSAO_01", "OpenGL.Texture.TexelCopy",
        "OpenGL.Texture.ChannelSelectionToGreyscale", "OpenGL.Texture.Flipper", "OpenGL.Texture.GenerateMipMap",
        "OpenGL.Texture.Multiply", "OpenGL.Texture.ScalarMultiply", "OpenGL.Texture.Size", "OpenGL.Texture3D.Size",
        "OpenGL.Texture.LoadVolume", "OpenGL.MakeTextureFromVec3f", "OpenGL.MakeTextureFromVec4f",
        "OpenGL.Buffer.FromVec3f", "OpenGL.Buffer.FromVec4f"};
    std::vector<std::size_t> positions;
    for (const FilterDescriptor& descriptor : Prismvale::GetDescriptorList()) {
        if (descriptor.m_strName.rfind("Test.", 0) == 0) continue;
        const auto it = std::find(order.begin(), order.end(), descriptor.m_strName);
        ASSERT_NE(it, order.end()) << descriptor.m_strName << " is not a filter type of the plug-in";
        positions.push_back(static_cast<std::size_t>(it - order.begin()));
    }
    EXPECT_GE(positions.size(), 2u);
    EXPECT_TRUE(std::is_sorted(positions.begin(), positions.end())) << "descriptors out of registration order";
    EXPECT_EQ(std::adjacent_find(positions.begin(), positions.end()), positions.end()) << "a name registered twice";
}

TEST(FilterRegistry, ControlFlowFactoriesAreInsertedOrReplacedByName)
{
    Ondo::Core core;
    FilterRegistry& registry = FilterRegistry::Get(core);
    int iFirst = 0, iSecond = 0;
    registry.RegisterCtrlFlowFilter("Ctrl.Loop", [&](Ondo::Core&, const std::string&) { return ++iFirst, nullptr; });
    registry.RegisterCtrlFlowFilter("Ctrl.Loop", [&](Ondo::Core&, const std::string&) { return ++iSecond, nullptr; });
    registry.RegisterEngineCtrlFlowFilter("Ctrl.Scope", nullptr);
    ASSERT_NE(registry.FindCtrlFlowFilter("Ctrl.Loop"), nullptr);
    (*registry.FindCtrlFlowFilter("Ctrl.Loop"))(core, "loop");
    EXPECT_EQ(std::make_pair(iFirst, iSecond), std::make_pair(0, 1));
    EXPECT_EQ(registry.GetCtrlFlowFilterNames(), (std::vector<std::string>{"Ctrl.Loop", "Ctrl.Scope"}));
    EXPECT_EQ(registry.FindCtrlFlowFilter("Ctrl.Missing"), nullptr);
    EXPECT_EQ(registry.FindFilter("Ctrl.Loop"), nullptr) << "ordinary and control-flow types are kept apart";
}
