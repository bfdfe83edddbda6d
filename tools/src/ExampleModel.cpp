#include "ExampleModel.hpp"

#include <boost/optional.hpp>

#include <cstdint>
#include <memory>
#include <string>

namespace arvelle::tools {

namespace {

using Text = const char16_t*;

boost::optional<std::u16string> text(Text value) {
    return value ? boost::optional<std::u16string>(value) : boost::none;
}

// Host objects are never dereferenced by the model, so any address stands for one here.
template <class T>
T* host(std::uintptr_t address) {
    return reinterpret_cast<T*>(address);
}

// The attributes of one signal; null texts and empty optionals stay unset.
struct Signal {
    Text dataType = nullptr;
    Text unit = nullptr;
    Text sampleTime = nullptr;
    Text dims = nullptr;
    boost::optional<tn::Complexity> complexity = {};
    Text min = nullptr;
    Text max = nullptr;
    boost::optional<tn::DimsMode> dimsMode = {};
    boost::optional<tn::DataMode> dataMode = {};
    Text initialOutput = nullptr;
    boost::optional<tn::OutputWhenDisabled> outputWhenDisabled = {};
    Text desc = nullptr;
};

// A bus under construction: the node's builder and the builder of its children.
class Bus {
public:
    explicit Bus(tn::TreeNode::Builder& node) : m_node(&node) {
        auto children = std::make_unique<tn::ParentAttributes::Builder>();
        m_children = children.get();
        node.setParentAttrs(std::move(children));
    }

    tn::TreeNode::Builder& node() { return *m_node; }

    Bus bus(int index, Text name, Text busType) {
        tn::TreeNode::Builder& node = child(index, name);
        auto element = std::make_unique<tn::BusTypeElementAttributes::Builder>();
        element->setDataType(text(busType));
        node.setBusTypeElementAttrs(std::move(element));
        return Bus(node);
    }

    tn::TreeNode::Builder& signal(int index, Text name, const Signal& s) {
        auto attributes = std::make_unique<tn::SignalAttributes::Builder>();
        if (s.complexity) attributes->setComplexity(s.complexity);
        if (s.min) attributes->setMin(text(s.min));
        if (s.max) attributes->setMax(text(s.max));
        if (s.unit) attributes->setUnit(text(s.unit));
        if (s.dataType) attributes->setDataType(text(s.dataType));
        if (s.dims) attributes->setDims(text(s.dims));
        if (s.dimsMode) attributes->setDimsMode(s.dimsMode);
        if (s.sampleTime) attributes->setSampleTime(text(s.sampleTime));
        if (s.dataMode) attributes->setDataMode(s.dataMode);
        if (s.desc) attributes->setDesc(text(s.desc));
        if (s.initialOutput) attributes->setInitialOutput(text(s.initialOutput));
        if (s.outputWhenDisabled) attributes->setOutputWhenDisabled(s.outputWhenDisabled);
        tn::TreeNode::Builder& node = child(index, name);
        node.setSignalAttrs(std::move(attributes));
        return node;
    }

private:
    tn::TreeNode::Builder& child(int index, Text name) {
        auto node = std::make_unique<tn::TreeNode::Builder>();
        auto place = std::make_unique<tn::ChildAttributes::Builder>();
        place->setName(name).setIndexOne(index);
        node->setChildAttrs(std::move(place));
        tn::TreeNode::Builder& added = *node;
        m_children->addChildren(std::move(node));
        return added;
    }

    tn::TreeNode::Builder* m_node;
    tn::ParentAttributes::Builder* m_children;
};

void addInputs(Bus inputs) {
    Bus vehicle = inputs.bus(1, u"Vehicle", u"Bus: VehicleBus");
    auto route = std::make_unique<tn::PropagationAttributes::Builder>();
    route->setTavBusSrc(host<TAVBlock>(0x55d0c3a40a20))
        .setTavBusSrcOPort(1)
        .setTavBusDst(host<TAVBlock>(0x55d0c3a41e80))
        .setTavBusDstIPort(1);
    vehicle.node().setPropAttrs(std::move(route));
    const Signal wheel{
        .dataType = u"double", .unit = u"rad/s", .sampleTime = u"0.01", .min = u"0", .max = u"400"};
    vehicle.signal(1, u"WheelSpdFL", wheel);
    vehicle.signal(2, u"WheelSpdFR", wheel);
    vehicle.signal(3, u"WheelSpdRL", wheel);
    vehicle.signal(4, u"WheelSpdRR", wheel);
    vehicle.signal(5, u"YawRate", {.dataType = u"single", .unit = u"rad/s", .sampleTime = u"0.01"});
    vehicle.signal(6, u"LongAccel", {.dataType = u"single", .unit = u"m/s^2", .sampleTime = u"0.01"});
    vehicle.signal(7, u"GearPos", {.dataType = u"int8", .min = u"-1", .max = u"8"});

    Bus driver = inputs.bus(2, u"Driver", u"Bus: DriverBus");
    driver.signal(
        1, u"SetSpeed",
        {.dataType = u"double", .unit = u"km/h", .sampleTime = u"0.02", .min = u"30", .max = u"180"});
    driver.signal(2, u"ResumeBtn", {.dataType = u"boolean", .sampleTime = u"0.02"});
    driver.signal(3, u"CancelBtn", {.dataType = u"boolean", .sampleTime = u"0.02"});
    driver.signal(4, u"GapSetting", {.dataType = u"uint8", .min = u"1", .max = u"4"});
    driver.signal(5, u"BrakePedal", {.dataType = u"boolean"});

    Bus radar = inputs.bus(3, u"Radar", u"Bus: RadarBus");
    auto queue = std::make_unique<tn::MessageQueueAttributes::Builder>();
    queue->setUseDefaultAttrs(false)
        .setQueueCapacity(text(u"16"))
        .setQueueType(tn::QueueType::Q_TYPE_FIFO)
        .setQueueOverwriting(true);
    radar.node().setMsgQueueAttrs(std::move(queue));
    auto platform = std::make_unique<tn::PlatformAttributes::Builder>();
    platform->setQosType(tn::QoSType::STATUS).setDataNode(text(u"/acc/radar/objects"));
    radar.node().setPlatformAttrs(std::move(platform));
    const Signal object{.dataType = u"single", .sampleTime = u"0.05", .dataMode = tn::DataMode::MESSAGE};
    radar.signal(1, u"TargetValid", {.dataType = u"boolean", .sampleTime = u"0.05"});
    radar.signal(2, u"TargetDist", {.dataType = u"single", .unit = u"m", .sampleTime = u"0.05"});
    radar.signal(3, u"TargetRelSpd", {.dataType = u"single", .unit = u"m/s", .sampleTime = u"0.05"});
    Signal objects = object;
    objects.dims = u"[32 4]";
    objects.dimsMode = tn::DimsMode::VARIABLE;
    radar.signal(4, u"ObjectList", objects);
    radar.signal(5, u"BeatSpectrum",
                 {.dataType = u"double",
                  .sampleTime = u"0.05",
                  .dims = u"256",
                  .complexity = tn::Complexity::COMPLEX});
}

void addState(Bus state) {
    state.signal(1, u"Mode", {.dataType = u"Enum: AccMode", .initialOutput = u"AccMode.Off"});
    state.signal(2, u"TargetSpeed", {.dataType = u"double", .unit = u"km/h"});
    state.signal(3, u"SpeedError", {.dataType = u"double", .unit = u"km/h"});
    state.signal(
        4, u"Integrator",
        {.dataType = u"double", .initialOutput = u"0", .outputWhenDisabled = tn::OutputWhenDisabled::RESET});
}

void addOutputs(Bus outputs) {
    auto bus = std::make_unique<tn::SignalAttributes::Builder>();
    bus->setVirtuality(tn::Virtuality::NON_VIRTUAL).setSampleTime(text(u"0.01"));
    outputs.node().setSignalAttrs(std::move(bus));
    outputs.signal(1, u"TorqueReq", {.dataType = u"double", .unit = u"N*m", .min = u"-500", .max = u"3000"});
    outputs.signal(2, u"BrakeReq", {.dataType = u"double", .unit = u"m/s^2", .min = u"-10", .max = u"0"});
    outputs.signal(3, u"Active",
                   {.dataType = u"boolean", .outputWhenDisabled = tn::OutputWhenDisabled::HELD});
    Bus display = outputs.bus(4, u"Display", u"Bus: HmiBus");
    display.signal(1, u"SetSpeedDisp", {.dataType = u"uint16", .unit = u"km/h", .sampleTime = u"0.1"});
    display.signal(2, u"GapBars", {.dataType = u"uint8", .sampleTime = u"0.1"});
    display.signal(3, u"TakeOver",
                   {.dataType = u"boolean", .sampleTime = u"0.1", .desc = u"driver must brake"});
}

void addDiagnostics(Bus diagnostics) {
    diagnostics.signal(1, u"FaultCode", {.dataType = u"uint16", .sampleTime = u"0.1"});
    diagnostics.signal(2, u"FaultActive", {.dataType = u"boolean", .sampleTime = u"0.1"});
    Bus health = diagnostics.bus(3, u"SensorHealth", u"Bus: HealthBus");
    health.signal(1, u"RadarOk", {.dataType = u"boolean"});
    health.signal(2, u"WheelSpdOk", {.dataType = u"boolean"});
}

}  // namespace

tn::TreeNode buildExample(const ::fenmo::Model& model) {
    tn::TreeNode::Builder rootBuilder(model);
    auto place = std::make_unique<tn::ChildAttributes::Builder>();
    place->setName(u"CruiseControl").setIndexOne(1);
    rootBuilder.setChildAttrs(std::move(place));
    auto busType = std::make_unique<tn::BusTypeRootAttributes::Builder>();
    busType->setChecksum(text(u"3f9a1c07"));
    rootBuilder.setBusTypeRootAttrs(std::move(busType));
    auto blocks = std::make_unique<tn::BlockAttributes::Builder>();
    blocks->addTavBlocks({host<TAVBlock>(0x55d0c3a41e80), host<TAVBlock>(0x55d0c3a42310)});
    rootBuilder.setBlockAttrs(std::move(blocks));

    Bus root(rootBuilder);
    addInputs(root.bus(1, u"Inputs", u"Bus: AccInputs"));
    addState(root.bus(2, u"State", u"Bus: AccState"));
    addOutputs(root.bus(3, u"Outputs", u"Bus: AccOutputs"));
    addDiagnostics(root.bus(4, u"Diagnostics", u"Bus: AccDiag"));
    return rootBuilder.createTreeNode(::fenmo::uuid());
}

}  // namespace arvelle::tools
