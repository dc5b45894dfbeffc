// The life of an OpenGL filter: ports, readiness, device binding, execution.

#include "HostTestSupport.h"
#include "support/GLTestEnvironment.h"

#include "Ondo/Core.h"
#include "Ondo/FlowGraph/ScopeExecuter.h"
#include "Ondo/FlowGraph/ValuePorts.h"
#include "Ondo/Logger.h"
#include "Ondo/OpenGL/BaseFilter.h"

#include <GL/glew.h>
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <tuple>
#include <vector>

using namespace Ondo::FlowGraph;

namespace {

// Scales its input by a factor; "Factor" is optional, "Value" is required.
class ScaleFilter : public Ondo::OpenGL::BaseFilter {
public:
    ScaleFilter(Ondo::Core& core, const std::string& strName) : BaseFilter(core, strName, strName) {}

    void CreatePorts() override
    {
        ++m_iCreatePortsCalls;
        CreatePort(hValueIn, {PortType::Input, "Value", false});
        CreatePort(hFactorIn, {PortType::Input, "Factor", true});
        CreatePort(hResultOut, {PortType::Output, "Result", false});
        CreatePort(hOffsetIn, {PortType::Input, "Offset", false});
    }
    void InitResources(Ondo::OpenGL::Device& device, Ondo::OpenGL::Context& context) override
    {
        m_bContextCurrentAtInit = context.IsCurrent() && &device.GetContext() == &context;
        if (m_bFailInit) throw std::runtime_error("init failed");
        glGenBuffers(1, &m_uiBuffer);
        // A buffer name becomes an object when it is first bound.
        glBindBuffer(GL_ARRAY_BUFFER, m_uiBuffer);
        glBindBuffer(GL_ARRAY_BUFFER, 0);
    }
    void ReleaseResources(Ondo::OpenGL::Device&, Ondo::OpenGL::Context&) override
    {
        ++m_iReleaseCalls;
        if (m_uiBuffer != 0) glDeleteBuffers(1, &m_uiBuffer);
        m_uiBuffer = 0;
    }
    void Process(ScopeExecuter&) override
    {
        const float fFactor = hFactorIn->GetData() ? *hFactorIn->GetData() : 1.0f;
        m_fResult = *hValueIn->GetData() * fFactor + *hOffsetIn->GetData();
        hResultOut->SetData(&m_fResult, true);
    }

    PortHandle<SimplePortT<float>> hValueIn, hFactorIn, hResultOut, hOffsetIn;
    float m_fResult = 0.0f;
    GLuint m_uiBuffer = 0;
    int m_iCreatePortsCalls = 0;
    int m_iReleaseCalls = 0;
    bool m_bContextCurrentAtInit = false;
    bool m_bFailInit = false;
};

// Publishes a constant.
class SourceFilter : public Ondo::OpenGL::BaseFilter {
public:
    SourceFilter(Ondo::Core& core, const std::string& strName, float fValue)
        : BaseFilter(core, strName, strName), m_fValue(fValue)
    {
    }
    void CreatePorts() override { CreatePort(hOut, {PortType::Output, "Out", false}); }
    void Process(ScopeExecuter&) override { hOut->SetData(&m_fValue, true); }

    PortHandle<SimplePortT<float>> hOut;
    float m_fValue;
};

template <class F, class... Args>
std::shared_ptr<F> Make(Ondo::Core& core, const std::string& strName, Args... args)
{
    auto pFilter = std::make_shared<F>(core, strName, args...);
    pFilter->Initialize();
    return pFilter;
}

} // namespace

TEST(FilterBase, PortsAreCreatedOnceInOrderAndConstructionMakesNone)
{
    Ondo::Core core;
    ScaleFilter filter(core, "scale");
    EXPECT_EQ(filter.GetNumberOfPorts(), 0u);
    EXPECT_TRUE(filter.hValueIn.IsNone());
    EXPECT_THROW(filter.GetSharedPtr(), std::bad_weak_ptr);

    filter.Initialize();
    filter.Initialize();
    EXPECT_EQ(filter.m_iCreatePortsCalls, 1);
    ASSERT_EQ(filter.GetNumberOfPorts(), 4u);
    EXPECT_EQ(std::make_tuple(filter.hValueIn.GetIndex(), filter.hOffsetIn.GetIndex(), filter.hResultOut->GetLabel(),
                              filter.hResultOut->IsOutput(), filter.GetTitle()),
              std::make_tuple(0u, 3u, "Result", true, "scale"));

    auto pShared = std::make_shared<ScaleFilter>(core, "shared");
    EXPECT_EQ(pShared->GetSharedPtr().get(), static_cast<ScopeItem*>(pShared.get()));
}

TEST(FilterBase, ReadinessReportsEachUnconnectedRequiredInputInIndexOrder)
{
    Ondo::Core core;
    Scope scope("Root");
    auto pScale = Make<ScaleFilter>(core, "Scale 1");
    auto pSource = Make<SourceFilter>(core, "Source", 2.0f);
    scope.AddItem(pSource);
    scope.AddItem(pScale);

    Ondo::CollectingLogger logger;
    EXPECT_FALSE(pScale->IsReadyToRun(scope, &logger));
    // The optional "Factor" and the output "Result" are never reported.
    EXPECT_EQ(logger.GetMessages(), (std::vector<std::string>{
                                        "Scale 1: Port \"Value\" requires a connection to run.\n",
                                        "Scale 1: Port \"Offset\" requires a connection to run.\n"}));
    EXPECT_FALSE(pScale->IsReadyToRun(scope, nullptr));

    logger.Clear();
    scope.Connect(PortHandle<Port>(pSource->hOut), PortHandle<Port>(pScale->hOffsetIn));
    EXPECT_FALSE(pScale->IsReadyToRun(scope, &logger));
    EXPECT_EQ(logger.GetMessages(),
              (std::vector<std::string>{"Scale 1: Port \"Value\" requires a connection to run.\n"}));

    logger.Clear();
    scope.Connect(PortHandle<Port>(pSource->hOut), PortHandle<Port>(pScale->hValueIn));
    EXPECT_TRUE(pScale->IsReadyToRun(scope, &logger));
    EXPECT_TRUE(logger.GetMessages().empty());
    EXPECT_TRUE(pSource->IsReadyToRun(scope, &logger)) << "a filter with outputs only is always ready";

    // Ports of another filter do not satisfy this one's inputs.
    auto pOther = Make<ScaleFilter>(core, "Other");
    EXPECT_FALSE(pOther->IsReadyToRun(scope, nullptr));
}

TEST(FilterBase, ConnectRefusesWrongDirectionsTypesAndSecondSources)
{
    Ondo::Core core;
    Scope scope("Root");
    auto pScale = Make<ScaleFilter>(core, "Scale");
    auto pSource = Make<SourceFilter>(core, "Source", 1.0f);
    PortHandle<SimplePortT<int>> hIntIn;
    pScale->CreatePort(hIntIn, {PortType::Input, "Count", false});

    const PortHandle<Port> hOut(pSource->hOut), hValue(pScale->hValueIn);
    EXPECT_THROW(scope.Connect(hValue, hOut), std::runtime_error);
    EXPECT_THROW(scope.Connect(hOut, PortHandle<Port>(pScale->hResultOut)), std::runtime_error);
    EXPECT_EQ(OndoTest::Thrown([&] { scope.Connect(hOut, PortHandle<Port>(hIntIn)); }),
              "Cannot connect output \"Out\" (float) to input \"Count\" (int): the types differ");
    scope.Connect(hOut, hValue);
    EXPECT_THROW(scope.Connect(hOut, hValue), std::runtime_error);
    EXPECT_EQ(scope.GetConnections().size(), 1u);
    scope.Disconnect(hValue);
    EXPECT_TRUE(scope.GetConnections().empty());
}

TEST(FilterBase, ResourcesFollowTheDeviceBinding)
{
    Ondo::OpenGL::Device& device = OndoTest::TestDevice();
    Ondo::Core core;
    auto pScale = Make<ScaleFilter>(core, "Scale");
    ScopeExecuter executer;

    EXPECT_EQ(OndoTest::Thrown([&] { pScale->Execute(executer); }),
              "Scale: not bound to a render device, so it has no OpenGL context");

    device.GetContext().DoneCurrent();
    pScale->AttachDevice(device);
    EXPECT_TRUE(pScale->m_bContextCurrentAtInit) << "InitResources runs with the device's context current";
    ASSERT_NE(pScale->m_uiBuffer, 0u);
    const GLuint uiBuffer = pScale->m_uiBuffer;
    EXPECT_TRUE(glIsBuffer(uiBuffer));

    pScale->DetachDevice();
    pScale->DetachDevice();
    EXPECT_EQ(std::make_tuple(pScale->m_iReleaseCalls, glIsBuffer(uiBuffer), pScale->IsAttached()),
              std::make_tuple(1, GLboolean(GL_FALSE), false))
        << "detaching twice releases once";

    // A failing InitResources is cleaned up and leaves the filter unbound.
    pScale->m_bFailInit = true;
    EXPECT_THROW(pScale->AttachDevice(device), std::runtime_error);
    EXPECT_EQ(std::make_tuple(pScale->m_iReleaseCalls, pScale->IsAttached()), std::make_tuple(2, false));
}

TEST(FilterBase, ExecuterMovesValuesAlongConnectionsAndSkipsFiltersThatAreNotReady)
{
    Ondo::OpenGL::Device& device = OndoTest::TestDevice();
    Ondo::Core core;
    Scope scope("Root");
    auto pValue = Make<SourceFilter>(core, "Value", 3.0f);
    auto pFactor = Make<SourceFilter>(core, "Factor", 4.0f);
    auto pOffset = Make<SourceFilter>(core, "Offset", 0.5f);
    auto pScale = Make<ScaleFilter>(core, "Scale");
    auto pUnfed = Make<ScaleFilter>(core, "Unfed");
    for (auto pItem : std::vector<std::shared_ptr<Ondo::OpenGL::BaseFilter>>{pValue, pFactor, pOffset, pScale, pUnfed}) {
        scope.AddItem(pItem);
        pItem->AttachDevice(device);
    }
    scope.Connect(PortHandle<Port>(pValue->hOut), PortHandle<Port>(pScale->hValueIn));
    scope.Connect(PortHandle<Port>(pOffset->hOut), PortHandle<Port>(pScale->hOffsetIn));

    Ondo::CollectingLogger logger;
    ScopeExecuter executer(&logger);
    executer.ExecuteScope(scope);
    EXPECT_FLOAT_EQ(pScale->m_fResult, 3.5f) << "the unconnected optional factor counts as 1";
    EXPECT_EQ(std::make_tuple(pScale->hResultOut->GetData(), pScale->hResultOut->HasChanged(),
                              executer.GetNumberOfExecuted(), executer.GetNumberOfSkipped()),
              std::make_tuple(&pScale->m_fResult, true, 4u, 1u))
        << "published, changed, four executed and one skipped";
    EXPECT_EQ(logger.GetMessages().size(), 2u) << "the unfed filter's two required inputs";

    scope.Connect(PortHandle<Port>(pFactor->hOut), PortHandle<Port>(pScale->hFactorIn));
    executer.ExecuteScope(scope);
    EXPECT_FLOAT_EQ(pScale->m_fResult, 12.5f);

    for (const auto& pItem : scope.GetItems()) static_cast<Ondo::OpenGL::BaseFilter&>(*pItem).DetachDevice();
}
