#include "TestSupport.h"

#include "Ondo/FlowGraph/Scope.h"

namespace {

using namespace Ondo::FlowGraph;
using namespace OndoTest;
using Indices = std::vector<unsigned int>;

// Direction, optional flag, label, data and changed flag of a port.
std::tuple<bool, bool, std::string, void*, bool> State(const Port& port)
{
    return {port.IsOutput(), port.IsOptional(), port.GetLabel(), port.GetDataPointer(), port.HasChanged()};
}

template <class T>
void ExpectNames(const char* szClass, const char* szType)
{
    SCOPED_TRACE(szClass);
    const SimplePortT<T> port(PortSettings{PortType::Input, "in", false});
    const Port& base = port; // as the engine sees ports
    const std::unique_ptr<Port> pClone = base.Clone(PortType::Output);
    EXPECT_EQ(std::make_tuple(base.GetNameOfClass(), base.GetTransportedType(), port.GetStoredType(),
                              port.GetNameOfBaseClass(), pClone->GetNameOfClass()),
              std::make_tuple(szClass, szType, szType, "Ondo::FlowGraph::Port", szClass));
    EXPECT_EQ(std::make_tuple(port.IsClassDerivedFrom("Ondo::FlowGraph::Port"), port.IsClassDerivedFrom(""),
                              port.IsClassDerivedFrom(szClass), port.IsClassDerivedFrom("Ondo::IClass"),
                              port.IsClassDerivedFrom("Ondo::FlowGraph::Port ")),
              std::make_tuple(true, true, false, false, false)) << "derived from the base and the root, not itself";
}

TEST(PortTest, EveryValuePortCarriesItsRunTimeNames)
{
    ExpectNames<float>("Ondo::FloatPort", "float");
    ExpectNames<int>("Ondo::IntPort", "int");
    ExpectNames<Ondo::Vector2f>("Ondo::Vector2fPort", "Ondo::Vector2f");
    ExpectNames<Ondo::Vector3f>("Ondo::Vector3fPort", "Ondo::Vector3f");
    ExpectNames<Ondo::Vector4f>("Ondo::Vector4fPort", "Ondo::Vector4f");
    ExpectNames<Ondo::Vector2i>("Ondo::Vector2iPort", "Ondo::Vector2i");
    ExpectNames<Ondo::Matrix44f>("Ondo::Matrix44fPort", "Ondo::Matrix44f");
    ExpectNames<std::string>("Ondo::StringPort", "std::string");
    ExpectNames<std::vector<float>>("Ondo::VecOfFloatPort", "std::vector< float >");
    ExpectNames<std::vector<Ondo::Vector3f>>("Ondo::VecOfVec3fPort", "std::vector< Ondo::Vector3f >");
    ExpectNames<std::vector<Ondo::Vector4f>>("Ondo::VecOfVec4fPort", "std::vector< Ondo::Vector4f >");
    ExpectNames<Ondo::GFX::Mesh>("Ondo::GFX::MeshPort", "Ondo::GFX::Mesh");
    ExpectNames<Ondo::GFX::LightSource>("Ondo::GFX::LightSourcePort", "Ondo::GFX::LightSource");
    const SimplePortT<float> port(PortSettings{});
    EXPECT_EQ(std::make_tuple(port.Port::GetNameOfClass(), port.Port::GetNameOfBaseClass(),
                              port.IClass::GetNameOfClass(), port.Port::IsClassDerivedFrom(""),
                              port.IClass::IsClassDerivedFrom("")),
              std::make_tuple("Ondo::FlowGraph::Port", "", "", false, false));
}

TEST(PortTest, SettingsDecideDirectionAndLabelClonesAreEmptyAndTakeDataFromOnlyEverSetsTheChangedFlag)
{
    EXPECT_EQ(std::make_tuple(int(PortType::Output), int(PortType::Input)), std::make_tuple(0, 1));
    EXPECT_EQ(State(SimplePortT<int>(PortSettings{PortType::Output, "Result", false})),
              std::make_tuple(true, false, "Result", nullptr, false));
    float fValue = 1.0f;
    SimplePortT<float> input(PortSettings{PortType::Input, "Gain", true});
    input.SetData(&fValue, true);
    // A clone is a required port with the same label, the given direction and no data; the original is untouched.
    const std::unique_ptr<Port> pOutput = input.Clone(PortType::Output);
    EXPECT_EQ(State(*pOutput), std::make_tuple(true, false, "Gain", nullptr, false));
    EXPECT_EQ(State(*pOutput->Clone(PortType::Input)), std::make_tuple(false, false, "Gain", nullptr, false));
    EXPECT_EQ(State(input), std::make_tuple(false, true, "Gain", &fValue, true));

    // The ports point at these locals: a port that deleted its data would fail the test at the end.
    Ondo::Vector3f first{1.0f, 2.0f, 3.0f}, second{4.0f, 5.0f, 6.0f};
    SimplePortT<Ondo::Vector3f> source(PortSettings{PortType::Output, "Out", false});
    SimplePortT<Ondo::Vector3f> target(PortSettings{PortType::Input, "In", false});
    // {data of the source, its changed flag, whether the target's flag is reset first, the target's flag after}
    const std::tuple<Ondo::Vector3f*, bool, bool, bool> steps[] = {
        {&first, true, false, true}, {&second, false, false, true}, {&second, false, true, false},
        {nullptr, true, false, true}};
    for (const auto& [pData, bSourceChanged, bReset, bChanged] : steps) {
        SCOPED_TRACE(testing::Message() << "source changed " << bSourceChanged << ", reset " << bReset);
        source.ResetChanged();
        source.SetData(pData, bSourceChanged);
        EXPECT_EQ(std::make_tuple(source.GetData(), source.GetDataPointer(), source.HasChanged()),
                  std::make_tuple(pData, pData, bSourceChanged));
        const Ondo::Vector3f* pBefore = target.GetData();
        if (bReset) target.ResetChanged();
        EXPECT_EQ(target.GetData(), pBefore) << "resetting the flag keeps the data";
        target.TakeDataFrom(source);
        EXPECT_EQ(std::make_tuple(target.GetData(), target.HasChanged()), std::make_tuple(pData, bChanged));
    }
    // A source of another type is refused and the target kept.
    int iValue = 2;
    SimplePortT<int> intSource(PortSettings{PortType::Output, "Count", false});
    SimplePortT<std::vector<Ondo::Vector3f>> vectorSource(PortSettings{PortType::Output, "Values", false});
    intSource.SetData(&iValue, true);
    target.ResetChanged();
    target.SetData(&first, false);
    EXPECT_THROW(target.TakeDataFrom(intSource), std::runtime_error);
    EXPECT_THROW(target.TakeDataFrom(vectorSource), std::runtime_error);
    EXPECT_EQ(std::make_tuple(target.GetData(), target.HasChanged()), std::make_tuple(&first, false));
}

TEST(PortHandleTest, HandlesResolveOnlyToTheirPortAndOrderByOwnerThenIndex)
{
    using IndexHandle = Ondo::IndexBasedHandleT<unsigned int, -1>;
    EXPECT_EQ(std::make_tuple(IndexHandle::None, IndexHandle().HasIndex(), IndexHandle(0).HasIndex()),
              std::make_tuple(0xFFFFFFFFu, false, true));
    TestOwner owner;
    const PortHandle<Port> hAdded = owner.AddPort(FloatPort("value"));
    const FloatHandle hDefault, hNoOwner(0, nullptr), hNoIndex(PortHandle<Port>::None, &owner);
    EXPECT_EQ(std::make_tuple(hDefault.GetIndex(), hDefault.GetOwner()), std::make_tuple(0xFFFFFFFFu, nullptr));
    const std::string strNull = "Null pointer exception in PortHandle";
    for (const FloatHandle& hNone : {hDefault, hNoOwner, hNoIndex}) {
        EXPECT_EQ(std::make_tuple(hNone.IsNone(), ThrownMessage<std::runtime_error>([&] { hNone.Get(); }),
                                  ThrownMessage<std::runtime_error>([&] { *hNone; }),
                                  ThrownMessage<std::runtime_error>([&] { hNone->GetLabel(); })),
                  std::make_tuple(true, strNull, strNull, strNull)) << hNone.GetIndex() << " " << hNone.GetOwner();
    }
    const ScopeHandle hScope;
    EXPECT_EQ(std::make_tuple(hScope.IsNone(), ThrownMessage<std::runtime_error>([&] { hScope.Get(); })),
              std::make_tuple(true, strNull));

    // Handles without a matching port resolve to null, and throw with what they are missing when dereferenced.
    const FloatHandle hMissing(7, &owner), hRight(hAdded);
    const PortHandle<SimplePortT<int>> hWrongClass(hAdded);
    EXPECT_EQ(std::make_tuple(hMissing.IsNone(), hMissing.Get(), hWrongClass.Get()),
              std::make_tuple(false, nullptr, nullptr));
    const std::string strMissing = ThrownMessage<std::runtime_error>([&] { *hMissing; });
    EXPECT_TRUE(strMissing.find("7") != std::string::npos && strMissing != strNull) << strMissing;
    const std::string strWrongClass = ThrownMessage<std::runtime_error>([&] { hWrongClass->GetData(); });
    EXPECT_NE(strWrongClass.find("Ondo::FloatPort"), std::string::npos) << strWrongClass;
    EXPECT_EQ(std::make_tuple(hRight.Get(), &*hRight), std::make_tuple(owner.GetPort(hAdded.GetIndex()), hRight.Get()));
    owner.RemovePort(hAdded.GetIndex());
    EXPECT_EQ(hRight.Get(), nullptr) << "a removed port no longer resolves";

    TestOwner owners[2]; // elements of one array: their addresses are ordered
    PortOwner *pLow = &owners[0], *pHigh = &owners[1];
    const PortHandle<Port> hLow9(9, pLow), hHigh0(0, pHigh), hHigh3(3, pHigh), hLow1(1, pLow);
    EXPECT_EQ(std::make_tuple(hLow9 < hHigh0, hHigh0 < hLow9, hLow1 < hLow9, hHigh0 < hHigh3, hHigh3 < hHigh0,
                              hLow1 < hLow1), std::make_tuple(true, false, true, true, false, false))
        << "the owner decides before the index";
    EXPECT_EQ(std::make_tuple(hLow1 == PortHandle<Port>(1, pLow), hLow1 == PortHandle<Port>(1, pHigh)),
              std::make_tuple(true, false));
}

Indices IndicesOf(const PortOwner& owner)
{
    Indices indices;
    for (const PortHandle<Port>& hPort : owner.GetPortHandles()) {
        EXPECT_EQ(hPort.GetOwner(), &owner);
        indices.push_back(hPort.GetIndex());
    }
    return indices;
}

TEST(PortOwnerTest, IndicesFollowTheLargestIndexInUseAndPortsAreFoundByLabelAndDirection)
{
    TestOwner owner;
    EXPECT_EQ((Indices{owner.AddPort(FloatPort("Texture")).GetIndex(), owner.AddPort(FloatPort("Other")).GetIndex()}),
              (Indices{0, 1}));
    const PortHandle<Port> hFive = owner.AddPortAt(5, FloatPort("f"));
    EXPECT_EQ(std::make_tuple(hFive.GetIndex(), hFive.GetOwner()), std::make_tuple(5u, &owner));
    EXPECT_EQ(owner.AddPort(FloatPort("g")).GetIndex(), 6u) << "one past the largest index in use";
    EXPECT_EQ(owner.AddPortAt(3, FloatPort("Texture", PortType::Output)).GetIndex(), 3u);
    EXPECT_EQ(IndicesOf(owner), (Indices{0, 1, 3, 5, 6}));
    EXPECT_EQ(std::make_tuple(owner.FindPort("Texture").GetIndex(), owner.FindPort("Texture", true).GetIndex(),
                              owner.FindPort("Texture", false).GetIndex(), owner.FindPort("Other").GetOwner()),
              std::make_tuple(0u, 3u, 0u, &owner));
    EXPECT_EQ(std::make_tuple(owner.FindPort("Missing").IsNone(), owner.FindPort("Other", true).IsNone()),
              std::make_tuple(true, true));
    EXPECT_THROW(owner.AddPortAt(5, FloatPort("taken")), std::runtime_error);
    EXPECT_THROW(owner.AddPortAt(PortHandle<Port>::None, FloatPort("none")), std::runtime_error);
    EXPECT_EQ(owner.GetPort(5)->GetLabel(), "f");
    owner.RemovePort(6);
    owner.RemovePort(42); // unknown: ignored
    EXPECT_EQ(IndicesOf(owner), (Indices{0, 1, 3, 5}));
    EXPECT_EQ(std::make_tuple(owner.GetNumberOfPorts(), owner.GetPort(6)), std::make_tuple(4u, nullptr));
    EXPECT_EQ(owner.AddPort(FloatPort("h")).GetIndex(), 6u) << "the largest index in use is 5 again";
    for (unsigned int uiIndex : {0u, 1u, 3u, 5u, 6u}) owner.RemovePort(uiIndex);
    EXPECT_EQ(owner.AddPort(FloatPort("y")).GetIndex(), 0u) << "an owner without ports starts at 0 again";
}

// Records what it is told and checks what the handle resolves to at that moment.
struct RecordingObserver : PortObserver {
    FloatHandle* pBound = nullptr; // the handle CreatePort is binding
    std::vector<std::string> events;
    void OnPortAdded(const PortHandle<Port>& hPort) override
    {
        const std::string strBound = !pBound || PortHandle<Port>(*pBound) == hPort ? "" : " before it was bound";
        events.push_back("added " + std::to_string(hPort.GetIndex()) + " " + hPort->GetLabel() + strBound);
    }
    void OnPortRemoved(const PortHandle<Port>& hPort) override
    {
        events.push_back("removed " + std::to_string(hPort.GetIndex()) + (hPort.Get() ? " " + hPort->GetLabel() : ""));
    }
};

TEST(PortOwnerTest, CreatePortBindsTheHandleAndObserversAreTold)
{
    TestOwner owner;
    RecordingObserver observer;
    for (int i = 0; i < 2; ++i) owner.AddPortObserver(&observer); // registered once only
    FloatHandle hGain(99, nullptr);
    observer.pBound = &hGain;
    owner.CreatePort(hGain, PortSettings{PortType::Output, "Gain", true});
    observer.pBound = nullptr;
    EXPECT_EQ(std::make_tuple(hGain.GetIndex(), hGain.GetOwner()), std::make_tuple(0u, &owner));
    EXPECT_EQ(State(*hGain), std::make_tuple(true, true, "Gain", nullptr, false));
    owner.AddPort(FloatPort("Bias"));
    owner.AddPortAt(4, FloatPort("Late"));
    for (int i = 0; i < 2; ++i) owner.RemovePort(1); // the second time it is gone: nobody is told
    owner.RemovePortObserver(&observer);
    owner.RemovePort(4);
    EXPECT_EQ(observer.events,
              (std::vector<std::string>{"added 0 Gain", "added 1 Bias", "added 4 Late", "removed 1 Bias"}));
    EXPECT_EQ(IndicesOf(owner), Indices{0});
}

} // namespace
