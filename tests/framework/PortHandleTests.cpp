#include "ExpectThrow.h"

#include "Ondo/FlowGraph/PortOwner.h"
#include "Ondo/FlowGraph/Scope.h"
#include "Ondo/FlowGraph/ValuePorts.h"

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using namespace Ondo::FlowGraph;
using OndoTest::ThrownMessage;

struct TestOwner : PortOwner {};

std::unique_ptr<Port> MakeFloatPort(const std::string& strLabel, PortType eType = PortType::Input)
{
    return std::make_unique<SimplePortT<float>>(PortSettings{eType, strLabel, false});
}

std::vector<unsigned int> Indices(const PortOwner& owner)
{
    std::vector<unsigned int> indices;
    for (const PortHandle<Port>& hPort : owner.GetPortHandles()) {
        EXPECT_EQ(hPort.GetOwner(), &owner);
        indices.push_back(hPort.GetIndex());
    }
    return indices;
}

TEST(PortHandleTest, NoneHandlesThrowWhenResolved)
{
    using IndexHandle = Ondo::IndexBasedHandleT<unsigned int, -1>;
    EXPECT_EQ(IndexHandle::None, 0xFFFFFFFFu);
    EXPECT_FALSE(IndexHandle().HasIndex());
    EXPECT_TRUE(IndexHandle(0).HasIndex());

    TestOwner owner;
    owner.AddPort(MakeFloatPort("a"));
    const PortHandle<SimplePortT<float>> hDefault;
    const PortHandle<SimplePortT<float>> hNoOwner(0, nullptr);
    const PortHandle<SimplePortT<float>> hNoIndex(PortHandle<Port>::None, &owner);
    EXPECT_TRUE(hDefault.IsNone());
    EXPECT_EQ(hDefault.GetIndex(), 0xFFFFFFFFu);
    EXPECT_EQ(hDefault.GetOwner(), nullptr);
    for (const auto* pHandle : {&hDefault, &hNoOwner, &hNoIndex}) {
        EXPECT_TRUE(pHandle->IsNone());
        const auto& hNone = *pHandle;
        EXPECT_EQ(ThrownMessage<std::runtime_error>([&] { hNone.Get(); }), "Null pointer exception in PortHandle");
        EXPECT_EQ(ThrownMessage<std::runtime_error>([&] { *hNone; }), "Null pointer exception in PortHandle");
        EXPECT_EQ(ThrownMessage<std::runtime_error>([&] { hNone->GetLabel(); }),
                  "Null pointer exception in PortHandle");
    }

    ScopeHandle hScope;
    EXPECT_TRUE(hScope.IsNone());
    EXPECT_EQ(ThrownMessage<std::runtime_error>([&] { hScope.Get(); }), "Null pointer exception in PortHandle");
}

TEST(PortHandleTest, HandlesWithoutAMatchingPortResolveToNull)
{
    TestOwner owner;
    const PortHandle<Port> hAdded = owner.AddPort(MakeFloatPort("value"));

    const PortHandle<SimplePortT<float>> hMissing(7, &owner);
    EXPECT_FALSE(hMissing.IsNone());
    EXPECT_EQ(hMissing.Get(), nullptr);
    const std::string strMissing = ThrownMessage<std::runtime_error>([&] { *hMissing; });
    EXPECT_NE(strMissing.find("7"), std::string::npos) << strMissing;
    EXPECT_NE(strMissing, "Null pointer exception in PortHandle");

    const PortHandle<SimplePortT<int>> hWrongClass(hAdded);
    EXPECT_EQ(hWrongClass.Get(), nullptr);
    const std::string strWrongClass = ThrownMessage<std::runtime_error>([&] { hWrongClass->GetData(); });
    EXPECT_NE(strWrongClass.find("Ondo::FloatPort"), std::string::npos) << strWrongClass;

    const PortHandle<SimplePortT<float>> hRight(hAdded);
    ASSERT_NE(hRight.Get(), nullptr);
    EXPECT_EQ(hRight.Get(), owner.GetPort(hAdded.GetIndex()));
    EXPECT_EQ(&*hRight, hRight.Get());
    EXPECT_EQ(hRight->GetLabel(), "value");

    // A removed port no longer resolves.
    owner.RemovePort(hAdded.GetIndex());
    EXPECT_EQ(hRight.Get(), nullptr);
}

TEST(PortHandleTest, HandlesOrderByOwnerThenIndex)
{
    TestOwner owners[2]; // elements of one array: their addresses are ordered
    PortOwner* pLow = &owners[0];
    PortOwner* pHigh = &owners[1];
    const PortHandle<Port> hLow9(9, pLow), hHigh0(0, pHigh), hHigh3(3, pHigh), hLow1(1, pLow);
    EXPECT_TRUE(hLow9 < hHigh0) << "the owner decides before the index";
    EXPECT_TRUE(hLow1 < hLow9);
    EXPECT_FALSE(hHigh3 < hHigh0);
    EXPECT_FALSE(hLow1 < hLow1);
    EXPECT_EQ(hLow1, PortHandle<Port>(1, pLow));
    EXPECT_NE(hLow1, PortHandle<Port>(1, pHigh));

    std::map<PortHandle<Port>, int> numbers;
    numbers[hHigh3] = 3;
    numbers[hLow9] = 2;
    numbers[hHigh0] = 4;
    numbers[hLow1] = 1;
    numbers[PortHandle<Port>(9, pLow)] = 20;
    ASSERT_EQ(numbers.size(), 4u);
    std::vector<int> order;
    for (const auto& entry : numbers) order.push_back(entry.second);
    EXPECT_EQ(order, (std::vector<int>{1, 20, 4, 3}));

    const PortHandle<Port> hCopy = hHigh3;
    EXPECT_EQ(hCopy.GetIndex(), 3u);
    EXPECT_EQ(hCopy.GetOwner(), pHigh);
}

TEST(PortOwnerTest, IndicesFollowTheLargestIndexInUse)
{
    TestOwner owner;
    EXPECT_EQ(owner.AddPort(MakeFloatPort("a")).GetIndex(), 0u);
    EXPECT_EQ(owner.AddPort(MakeFloatPort("b")).GetIndex(), 1u);
    const PortHandle<Port> hFive = owner.AddPortAt(5, MakeFloatPort("f"));
    EXPECT_EQ(hFive.GetIndex(), 5u);
    EXPECT_EQ(hFive.GetOwner(), &owner);
    EXPECT_EQ(owner.AddPort(MakeFloatPort("g")).GetIndex(), 6u);
    EXPECT_EQ(owner.AddPortAt(3, MakeFloatPort("d")).GetIndex(), 3u);
    EXPECT_EQ(Indices(owner), (std::vector<unsigned int>{0, 1, 3, 5, 6}));

    EXPECT_THROW(owner.AddPortAt(5, MakeFloatPort("taken")), std::runtime_error);
    EXPECT_THROW(owner.AddPortAt(PortHandle<Port>::None, MakeFloatPort("none")), std::runtime_error);
    EXPECT_EQ(owner.GetPort(5)->GetLabel(), "f");

    owner.RemovePort(6);
    owner.RemovePort(42); // unknown: ignored
    EXPECT_EQ(Indices(owner), (std::vector<unsigned int>{0, 1, 3, 5}));
    EXPECT_EQ(owner.GetNumberOfPorts(), 4u);
    EXPECT_EQ(owner.GetPort(6), nullptr);
    EXPECT_EQ(owner.AddPort(MakeFloatPort("h")).GetIndex(), 6u) << "the largest index in use is 5 again";

    TestOwner emptied;
    emptied.AddPort(MakeFloatPort("x"));
    emptied.RemovePort(0);
    EXPECT_EQ(emptied.AddPort(MakeFloatPort("y")).GetIndex(), 0u);
}

TEST(PortOwnerTest, FindPortByLabelAndDirection)
{
    TestOwner owner;
    owner.AddPort(MakeFloatPort("Texture", PortType::Input));
    owner.AddPort(MakeFloatPort("Other", PortType::Input));
    owner.AddPort(MakeFloatPort("Texture", PortType::Output));
    EXPECT_EQ(owner.FindPort("Texture").GetIndex(), 0u);
    EXPECT_EQ(owner.FindPort("Texture", true).GetIndex(), 2u);
    EXPECT_EQ(owner.FindPort("Texture", false).GetIndex(), 0u);
    EXPECT_EQ(owner.FindPort("Other").GetOwner(), &owner);
    EXPECT_TRUE(owner.FindPort("Missing").IsNone());
    EXPECT_TRUE(owner.FindPort("Other", true).IsNone());
}

// Records what it is told and checks what the handle resolves to at that moment.
struct RecordingObserver : PortObserver {
    PortHandle<SimplePortT<float>>* pBound = nullptr;
    std::vector<std::string> events;

    void OnPortAdded(const PortHandle<Port>& hPort) override
    {
        std::string strEvent = "added " + std::to_string(hPort.GetIndex()) + " " + hPort->GetLabel();
        if (hPort.GetOwner() == nullptr) strEvent += " without owner";
        if (pBound && (pBound->GetIndex() != hPort.GetIndex() || pBound->GetOwner() != hPort.GetOwner()))
            strEvent += " before the handle was bound";
        events.push_back(strEvent);
    }
    void OnPortRemoved(const PortHandle<Port>& hPort) override
    {
        const Port* pPort = hPort.Get();
        events.push_back("removed " + std::to_string(hPort.GetIndex()) + " " +
                         (pPort ? pPort->GetLabel() : std::string("<gone>")));
    }
};

TEST(PortOwnerTest, CreatePortBindsTheHandleAndObserversAreTold)
{
    TestOwner owner;
    RecordingObserver observer;
    owner.AddPortObserver(&observer);
    owner.AddPortObserver(&observer); // registered once only

    PortHandle<SimplePortT<float>> hGain(99, nullptr);
    observer.pBound = &hGain;
    owner.CreatePort(hGain, PortSettings{PortType::Output, "Gain", true});
    observer.pBound = nullptr;
    EXPECT_EQ(hGain.GetIndex(), 0u);
    EXPECT_EQ(hGain.GetOwner(), &owner);
    ASSERT_NE(hGain.Get(), nullptr);
    EXPECT_TRUE(hGain->IsOutput());
    EXPECT_TRUE(hGain->IsOptional());
    EXPECT_EQ(hGain->GetLabel(), "Gain");

    owner.AddPort(MakeFloatPort("Bias"));
    owner.AddPortAt(4, MakeFloatPort("Late"));
    owner.RemovePort(1);
    owner.RemovePort(1); // already gone: nobody is told
    owner.RemovePortObserver(&observer);
    owner.RemovePort(4);
    EXPECT_EQ(observer.events, (std::vector<std::string>{"added 0 Gain", "added 1 Bias", "added 4 Late",
                                                         "removed 1 Bias"}));
    EXPECT_EQ(Indices(owner), std::vector<unsigned int>{0});
}

} // namespace
