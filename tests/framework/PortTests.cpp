#include "Ondo/FlowGraph/ValuePorts.h"

#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using namespace Ondo::FlowGraph;

template <class T>
void ExpectNames(const char* szClass, const char* szType)
{
    SCOPED_TRACE(szClass);
    const SimplePortT<T> port(PortSettings{PortType::Input, "in", false});
    EXPECT_EQ(port.GetNameOfClass(), szClass);
    EXPECT_EQ(port.GetTransportedType(), szType);
    EXPECT_EQ(port.GetStoredType(), szType);
    EXPECT_EQ(port.GetNameOfBaseClass(), "Ondo::FlowGraph::Port");
    EXPECT_TRUE(port.IsClassDerivedFrom("Ondo::FlowGraph::Port"));
    EXPECT_TRUE(port.IsClassDerivedFrom(""));
    EXPECT_FALSE(port.IsClassDerivedFrom(szClass)) << "a class is not derived from itself";
    EXPECT_FALSE(port.IsClassDerivedFrom("Ondo::IClass"));
    EXPECT_FALSE(port.IsClassDerivedFrom("Ondo::FlowGraph::Port "));

    // Through the base class, as the engine sees ports.
    const Port& base = port;
    EXPECT_EQ(base.GetNameOfClass(), szClass);
    EXPECT_EQ(base.GetTransportedType(), szType);
    std::unique_ptr<Port> pClone = base.Clone(PortType::Output);
    EXPECT_EQ(pClone->GetNameOfClass(), szClass);
    EXPECT_NE(dynamic_cast<SimplePortT<T>*>(pClone.get()), nullptr);
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
}

TEST(PortTest, PortAndRootClassNames)
{
    const SimplePortT<float> port(PortSettings{});
    EXPECT_EQ(port.Port::GetNameOfClass(), "Ondo::FlowGraph::Port");
    EXPECT_EQ(port.Port::GetNameOfBaseClass(), "");
    EXPECT_FALSE(port.Port::IsClassDerivedFrom(""));
    EXPECT_EQ(port.IClass::GetNameOfClass(), "");
    EXPECT_FALSE(port.IClass::IsClassDerivedFrom(""));
}

TEST(PortTest, SettingsDecideDirectionOptionalAndLabel)
{
    const SimplePortT<int> output(PortSettings{PortType::Output, "Result", false});
    EXPECT_TRUE(output.IsOutput());
    EXPECT_FALSE(output.IsOptional());
    EXPECT_EQ(output.GetLabel(), "Result");
    EXPECT_EQ(output.GetData(), nullptr);
    EXPECT_FALSE(output.HasChanged());

    const SimplePortT<int> optionalInput(PortSettings{PortType::Input, "Bias", true});
    EXPECT_FALSE(optionalInput.IsOutput());
    EXPECT_TRUE(optionalInput.IsOptional());
    EXPECT_EQ(optionalInput.GetLabel(), "Bias");
    EXPECT_EQ(static_cast<int>(PortType::Output), 0);
    EXPECT_EQ(static_cast<int>(PortType::Input), 1);
}

TEST(PortTest, SetDataPublishesAPointerItDoesNotOwn)
{
    auto pValue = std::make_unique<std::string>("owned by the test");
    {
        SimplePortT<std::string> port(PortSettings{PortType::Output, "Text", false});
        port.SetData(pValue.get(), true);
        EXPECT_EQ(port.GetData(), pValue.get());
        EXPECT_EQ(port.GetDataPointer(), pValue.get());
        EXPECT_TRUE(port.HasChanged());
        port.ResetChanged();
        EXPECT_FALSE(port.HasChanged());
        EXPECT_EQ(port.GetData(), pValue.get()) << "resetting the flag keeps the value";
        port.SetData(pValue.get(), false);
        EXPECT_FALSE(port.HasChanged());
    }
    EXPECT_EQ(*pValue, "owned by the test");
}

TEST(PortTest, CloneMakesAnEmptyPortWithTheSameLabelAndTheGivenDirection)
{
    float fValue = 1.0f;
    SimplePortT<float> input(PortSettings{PortType::Input, "Gain", true});
    input.SetData(&fValue, true);

    std::unique_ptr<Port> pOutput = input.Clone(PortType::Output);
    EXPECT_TRUE(pOutput->IsOutput());
    EXPECT_EQ(pOutput->GetLabel(), "Gain");
    EXPECT_EQ(pOutput->GetDataPointer(), nullptr);
    EXPECT_FALSE(pOutput->HasChanged());
    EXPECT_FALSE(pOutput->IsOptional());

    std::unique_ptr<Port> pInput = pOutput->Clone(PortType::Input);
    EXPECT_FALSE(pInput->IsOutput());
    EXPECT_EQ(input.GetData(), &fValue) << "the original is untouched";
    EXPECT_TRUE(input.HasChanged());
}

TEST(PortTest, TakeDataFromCopiesThePointerAndOnlyEverSetsTheChangedFlag)
{
    Ondo::Vector3f first{1.0f, 2.0f, 3.0f}, second{4.0f, 5.0f, 6.0f};
    SimplePortT<Ondo::Vector3f> source(PortSettings{PortType::Output, "Out", false});
    SimplePortT<Ondo::Vector3f> target(PortSettings{PortType::Input, "In", false});

    source.SetData(&first, true);
    target.TakeDataFrom(source);
    EXPECT_EQ(target.GetData(), &first);
    EXPECT_TRUE(target.HasChanged());

    // An unchanged source hands over its pointer but leaves the flag alone.
    source.SetData(&second, false);
    target.TakeDataFrom(source);
    EXPECT_EQ(target.GetData(), &second);
    EXPECT_TRUE(target.HasChanged());
    target.ResetChanged();
    target.TakeDataFrom(source);
    EXPECT_FALSE(target.HasChanged());

    source.SetData(nullptr, true);
    target.TakeDataFrom(source);
    EXPECT_EQ(target.GetData(), nullptr);
    EXPECT_TRUE(target.HasChanged());
}

TEST(PortTest, TakeDataFromAnotherTypeThrowsAndKeepsTheTarget)
{
    float fValue = 1.0f;
    int iValue = 2;
    SimplePortT<float> target(PortSettings{PortType::Input, "In", false});
    target.SetData(&fValue, false);

    SimplePortT<int> intSource(PortSettings{PortType::Output, "Count", false});
    intSource.SetData(&iValue, true);
    EXPECT_THROW(target.TakeDataFrom(intSource), std::runtime_error);
    SimplePortT<std::vector<float>> vectorSource(PortSettings{PortType::Output, "Values", false});
    EXPECT_THROW(target.TakeDataFrom(vectorSource), std::runtime_error);
    EXPECT_EQ(target.GetData(), &fValue);
    EXPECT_FALSE(target.HasChanged());
}

} // namespace
