// Generated from schema/treeNode.toml by codegen/generate.py; do not edit.
#include "scripting/Wrappers.gen.hpp"

#include "WrapperSupport.hpp"

namespace tav::fenmo::treeNode::qorin {

void BlockAttributesWrapper::defineClass(::plexo::ClassDefinition& definition) {
    using Impl [[maybe_unused]] = BlockAttributes::Impl;
    using Table = ElementTable<BlockAttributes>;
    Table::begin(definition, getName(), getFullName());
    Table::end(definition);
}

void BusTypeElementAttributesWrapper::defineClass(::plexo::ClassDefinition& definition) {
    using Impl [[maybe_unused]] = BusTypeElementAttributes::Impl;
    using Table = ElementTable<BusTypeElementAttributes>;
    Table::begin(definition, getName(), getFullName());
    definition.addProperty(Table::optionalEnum<&Impl::getComplexity>("complexity", "tav.fenmo.treeNode.Complexity", 0));
    definition.addProperty(Table::text<&Impl::getMin>("min", "PlexoFactoryString scalar", 0));
    definition.addProperty(Table::text<&Impl::getMax>("max", "PlexoFactoryString scalar", 0));
    definition.addProperty(Table::text<&Impl::getUnit>("unit", "PlexoFactoryString scalar", 0));
    definition.addProperty(Table::text<&Impl::getDataType>("dataType", "PlexoFactoryString scalar", 0));
    definition.addProperty(Table::text<&Impl::getDims>("dims", "PlexoFactoryString scalar", 0));
    definition.addProperty(Table::optionalEnum<&Impl::getDimsMode>("dimsMode", "tav.fenmo.treeNode.DimsMode", 0));
    definition.addProperty(Table::text<&Impl::getSampleTime>("sampleTime", "PlexoFactoryString scalar", 0));
    definition.addProperty(Table::text<&Impl::getValueType>("valueType", "PlexoFactoryString scalar", 0));
    definition.addProperty(Table::text<&Impl::getDesc>("desc", "PlexoFactoryString scalar", 0));
    Table::end(definition);
}

void BusTypeRootAttributesWrapper::defineClass(::plexo::ClassDefinition& definition) {
    using Impl [[maybe_unused]] = BusTypeRootAttributes::Impl;
    using Table = ElementTable<BusTypeRootAttributes>;
    Table::begin(definition, getName(), getFullName());
    definition.addProperty(Table::text<&Impl::getChecksum>("checksum", "PlexoFactoryString scalar", 0));
    Table::end(definition);
}

void ChildAttributesWrapper::defineClass(::plexo::ClassDefinition& definition) {
    using Impl [[maybe_unused]] = ChildAttributes::Impl;
    using Table = ElementTable<ChildAttributes>;
    Table::begin(definition, getName(), getFullName());
    definition.addProperty(Table::text<&Impl::getName, &Impl::setName>("name", "PlexoFactoryString scalar", 0));
    definition.addProperty(Table::int32<&Impl::getIndexOne, &Impl::setIndexOne>("indexOne", "int32 scalar", 0));
    definition.addProperty(Table::element<&Impl::getAttrsOfParent, &Impl::setAttrsOfParent>("attrsOfParent", "tav.fenmo.treeNode.ParentAttributes", 0));
    definition.addProperty(Table::element<&Impl::getParent, &Impl::setParent>("parent", "tav.fenmo.treeNode.TreeNode", 8192));
    Table::end(definition);
}

void MessageQueueAttributesWrapper::defineClass(::plexo::ClassDefinition& definition) {
    using Impl [[maybe_unused]] = MessageQueueAttributes::Impl;
    using Table = ElementTable<MessageQueueAttributes>;
    Table::begin(definition, getName(), getFullName());
    definition.addProperty(Table::optionalLogical<&Impl::getUseDefaultAttrs, &Impl::setUseDefaultAttrs>("useDefaultAttrs", "logical", 0));
    definition.addProperty(Table::text<&Impl::getQueueCapacity, &Impl::setQueueCapacity>("queueCapacity", "PlexoFactoryString scalar", 0));
    definition.addProperty(Table::optionalEnum<&Impl::getQueueType, &Impl::setQueueType>("queueType", "tav.fenmo.treeNode.QueueType", 0));
    definition.addProperty(Table::optionalLogical<&Impl::getQueueOverwriting, &Impl::setQueueOverwriting>("queueOverwriting", "logical", 0));
    Table::end(definition);
}

void ParentAttributesWrapper::defineClass(::plexo::ClassDefinition& definition) {
    using Impl [[maybe_unused]] = ParentAttributes::Impl;
    using Table = ElementTable<ParentAttributes>;
    Table::begin(definition, getName(), getFullName());
    definition.addProperty(Table::collection<&Impl::getChildrenMutable>("children", "fenmo.Set", 0));
    definition.addProperty(Table::collection<&Impl::getAttrsOfChildrenMutable>("attrsOfChildren", "fenmo.Set", 0));
    definition.addMethod(Table::createInto<&Impl::createIntoChildren>("createIntoChildren", getFullName(), "tav.fenmo.treeNode.TreeNode"));
    Table::end(definition);
}

void PlatformAttributesWrapper::defineClass(::plexo::ClassDefinition& definition) {
    using Impl [[maybe_unused]] = PlatformAttributes::Impl;
    using Table = ElementTable<PlatformAttributes>;
    Table::begin(definition, getName(), getFullName());
    definition.addProperty(Table::optionalEnum<&Impl::getQosType, &Impl::setQosType>("qosType", "tav.fenmo.treeNode.QoSType", 0));
    definition.addProperty(Table::text<&Impl::getDataNode, &Impl::setDataNode>("dataNode", "PlexoFactoryString scalar", 0));
    Table::end(definition);
}

void PropagationAttributesWrapper::defineClass(::plexo::ClassDefinition& definition) {
    using Impl [[maybe_unused]] = PropagationAttributes::Impl;
    using Table = ElementTable<PropagationAttributes>;
    Table::begin(definition, getName(), getFullName());
    definition.addProperty(Table::optionalLogical<&Impl::getPartialInfo, &Impl::setPartialInfo>("partialInfo", "logical", 0));
    definition.addProperty(Table::text<&Impl::getTrivialBusName, &Impl::setTrivialBusName>("trivialBusName", "PlexoFactoryString scalar", 0));
    definition.addProperty(Table::optionalInt32<&Impl::getTavBusSrcOPort, &Impl::setTavBusSrcOPort>("tavBusSrcOPort", "int32", 0));
    definition.addProperty(Table::optionalInt32<&Impl::getTavBusDstIPort, &Impl::setTavBusDstIPort>("tavBusDstIPort", "int32", 0));
    definition.addProperty(Table::optionalLogical<&Impl::getIsMessage, &Impl::setIsMessage>("isMessage", "logical", 0));
    Table::end(definition);
}

void SignalAttributesWrapper::defineClass(::plexo::ClassDefinition& definition) {
    using Impl [[maybe_unused]] = SignalAttributes::Impl;
    using Table = ElementTable<SignalAttributes>;
    Table::begin(definition, getName(), getFullName());
    definition.addProperty(Table::optionalEnum<&Impl::getComplexity, &Impl::setComplexity>("complexity", "tav.fenmo.treeNode.Complexity", 0));
    definition.addProperty(Table::text<&Impl::getMin, &Impl::setMin>("min", "PlexoFactoryString scalar", 0));
    definition.addProperty(Table::text<&Impl::getMax, &Impl::setMax>("max", "PlexoFactoryString scalar", 0));
    definition.addProperty(Table::text<&Impl::getUnit, &Impl::setUnit>("unit", "PlexoFactoryString scalar", 0));
    definition.addProperty(Table::text<&Impl::getDataType, &Impl::setDataType>("dataType", "PlexoFactoryString scalar", 0));
    definition.addProperty(Table::text<&Impl::getDims, &Impl::setDims>("dims", "PlexoFactoryString scalar", 0));
    definition.addProperty(Table::optionalEnum<&Impl::getDimsMode, &Impl::setDimsMode>("dimsMode", "tav.fenmo.treeNode.DimsMode", 0));
    definition.addProperty(Table::text<&Impl::getSampleTime, &Impl::setSampleTime>("sampleTime", "PlexoFactoryString scalar", 0));
    definition.addProperty(Table::optionalEnum<&Impl::getVirtuality, &Impl::setVirtuality>("virtuality", "tav.fenmo.treeNode.Virtuality", 0));
    definition.addProperty(Table::optionalEnum<&Impl::getDataMode, &Impl::setDataMode>("dataMode", "tav.fenmo.treeNode.DataMode", 0));
    definition.addProperty(Table::text<&Impl::getValueType, &Impl::setValueType>("valueType", "PlexoFactoryString scalar", 0));
    definition.addProperty(Table::text<&Impl::getDesc, &Impl::setDesc>("desc", "PlexoFactoryString scalar", 0));
    definition.addProperty(Table::text<&Impl::getOutputSignalName, &Impl::setOutputSignalName>("outputSignalName", "PlexoFactoryString scalar", 0));
    definition.addProperty(Table::text<&Impl::getInitialOutput, &Impl::setInitialOutput>("initialOutput", "PlexoFactoryString scalar", 0));
    definition.addProperty(Table::optionalEnum<&Impl::getOutputWhenDisabled, &Impl::setOutputWhenDisabled>("outputWhenDisabled", "tav.fenmo.treeNode.OutputWhenDisabled", 0));
    Table::end(definition);
}

void TreeNodeWrapper::defineClass(::plexo::ClassDefinition& definition) {
    using Impl [[maybe_unused]] = TreeNode::Impl;
    using Table = ElementTable<TreeNode>;
    Table::begin(definition, getName(), getFullName());
    definition.addProperty(Table::element<&Impl::getParentAttrs, &Impl::setParentAttrs>("parentAttrs", "tav.fenmo.treeNode.ParentAttributes", 0));
    definition.addProperty(Table::element<&Impl::getChildAttrs, &Impl::setChildAttrs>("childAttrs", "tav.fenmo.treeNode.ChildAttributes", 0));
    definition.addProperty(Table::element<&Impl::getSignalAttrs, &Impl::setSignalAttrs>("signalAttrs", "tav.fenmo.treeNode.SignalAttributes", 0));
    definition.addProperty(Table::element<&Impl::getBusTypeRootAttrs, &Impl::setBusTypeRootAttrs>("busTypeRootAttrs", "tav.fenmo.treeNode.BusTypeRootAttributes", 0));
    definition.addProperty(Table::element<&Impl::getBusTypeElementAttrs, &Impl::setBusTypeElementAttrs>("busTypeElementAttrs", "tav.fenmo.treeNode.BusTypeElementAttributes", 0));
    definition.addProperty(Table::element<&Impl::getBlockAttrs, &Impl::setBlockAttrs>("blockAttrs", "tav.fenmo.treeNode.BlockAttributes", 0));
    definition.addProperty(Table::element<&Impl::getPropAttrs, &Impl::setPropAttrs>("propAttrs", "tav.fenmo.treeNode.PropagationAttributes", 0));
    definition.addProperty(Table::element<&Impl::getMsgQueueAttrs, &Impl::setMsgQueueAttrs>("msgQueueAttrs", "tav.fenmo.treeNode.MessageQueueAttributes", 0));
    definition.addProperty(Table::element<&Impl::getInheritedParentAttrs, &Impl::setInheritedParentAttrs>("inheritedParentAttrs", "tav.fenmo.treeNode.ParentAttributes", 0));
    definition.addProperty(Table::element<&Impl::getPlatformAttrs, &Impl::setPlatformAttrs>("platformAttrs", "tav.fenmo.treeNode.PlatformAttributes", 0));
    definition.addProperty(Table::logical<&Impl::getIsInherited>("isInherited", "logical scalar", 8192));
    definition.addMethod(Table::createInto<&Impl::createIntoParentAttrs>("createIntoParentAttrs", getFullName(), "tav.fenmo.treeNode.ParentAttributes"));
    definition.addMethod(Table::createInto<&Impl::createIntoChildAttrs>("createIntoChildAttrs", getFullName(), "tav.fenmo.treeNode.ChildAttributes"));
    definition.addMethod(Table::createInto<&Impl::createIntoSignalAttrs>("createIntoSignalAttrs", getFullName(), "tav.fenmo.treeNode.SignalAttributes"));
    definition.addMethod(Table::createInto<&Impl::createIntoBusTypeRootAttrs>("createIntoBusTypeRootAttrs", getFullName(), "tav.fenmo.treeNode.BusTypeRootAttributes"));
    definition.addMethod(Table::createInto<&Impl::createIntoBusTypeElementAttrs>("createIntoBusTypeElementAttrs", getFullName(), "tav.fenmo.treeNode.BusTypeElementAttributes"));
    definition.addMethod(Table::createInto<&Impl::createIntoBlockAttrs>("createIntoBlockAttrs", getFullName(), "tav.fenmo.treeNode.BlockAttributes"));
    definition.addMethod(Table::createInto<&Impl::createIntoPropAttrs>("createIntoPropAttrs", getFullName(), "tav.fenmo.treeNode.PropagationAttributes"));
    definition.addMethod(Table::createInto<&Impl::createIntoMsgQueueAttrs>("createIntoMsgQueueAttrs", getFullName(), "tav.fenmo.treeNode.MessageQueueAttributes"));
    definition.addMethod(Table::createInto<&Impl::createIntoInheritedParentAttrs>("createIntoInheritedParentAttrs", getFullName(), "tav.fenmo.treeNode.ParentAttributes"));
    definition.addMethod(Table::createInto<&Impl::createIntoPlatformAttrs>("createIntoPlatformAttrs", getFullName(), "tav.fenmo.treeNode.PlatformAttributes"));
    Table::end(definition);
}

void ComplexityWrapper::defineClass(::plexo::ClassDefinition& definition) {
    FenmoEnumInfo::defineClass(definition);
    addLiterals(definition, {{"AUTO", 0}, {"REAL", 1}, {"COMPLEX", 2}}, [] { return ::fenmo::meta::Enum(schema::Complexity::type()); });
}

void DataModeWrapper::defineClass(::plexo::ClassDefinition& definition) {
    FenmoEnumInfo::defineClass(definition);
    addLiterals(definition, {{"INHERIT", 0}, {"SIGNAL", 1}, {"MESSAGE", 2}}, [] { return ::fenmo::meta::Enum(schema::DataMode::type()); });
}

void DimsModeWrapper::defineClass(::plexo::ClassDefinition& definition) {
    FenmoEnumInfo::defineClass(definition);
    addLiterals(definition, {{"INHERIT", 0}, {"FIXED", 1}, {"VARIABLE", 2}}, [] { return ::fenmo::meta::Enum(schema::DimsMode::type()); });
}

void OutputWhenDisabledWrapper::defineClass(::plexo::ClassDefinition& definition) {
    FenmoEnumInfo::defineClass(definition);
    addLiterals(definition, {{"HELD", 0}, {"RESET", 1}}, [] { return ::fenmo::meta::Enum(schema::OutputWhenDisabled::type()); });
}

void QoSTypeWrapper::defineClass(::plexo::ClassDefinition& definition) {
    FenmoEnumInfo::defineClass(definition);
    addLiterals(definition, {{"NONE", 0}, {"STATUS", 1}, {"IS_UPDATED", 2}}, [] { return ::fenmo::meta::Enum(schema::QoSType::type()); });
}

void QueueTypeWrapper::defineClass(::plexo::ClassDefinition& definition) {
    FenmoEnumInfo::defineClass(definition);
    addLiterals(definition, {{"Q_TYPE_FIFO", 0}, {"Q_TYPE_LIFO", 1}}, [] { return ::fenmo::meta::Enum(schema::QueueType::type()); });
}

void VirtualityWrapper::defineClass(::plexo::ClassDefinition& definition) {
    FenmoEnumInfo::defineClass(definition);
    addLiterals(definition, {{"INHERIT", 0}, {"VIRTUAL", 1}, {"NON_VIRTUAL", 2}}, [] { return ::fenmo::meta::Enum(schema::Virtuality::type()); });
}

void addScriptingClasses(::plexo::NamespaceDefinition& definition) {
    addElementClass(definition, new BlockAttributesWrapper);
    addElementClass(definition, new BusTypeElementAttributesWrapper);
    addElementClass(definition, new BusTypeRootAttributesWrapper);
    addElementClass(definition, new ChildAttributesWrapper);
    addElementClass(definition, new MessageQueueAttributesWrapper);
    addElementClass(definition, new ParentAttributesWrapper);
    addElementClass(definition, new PlatformAttributesWrapper);
    addElementClass(definition, new PropagationAttributesWrapper);
    addElementClass(definition, new SignalAttributesWrapper);
    addElementClass(definition, new TreeNodeWrapper);
    addEnumerationClass(definition, new ComplexityWrapper, schema::Complexity::type());
    addEnumerationClass(definition, new DataModeWrapper, schema::DataMode::type());
    addEnumerationClass(definition, new DimsModeWrapper, schema::DimsMode::type());
    addEnumerationClass(definition, new OutputWhenDisabledWrapper, schema::OutputWhenDisabled::type());
    addEnumerationClass(definition, new QoSTypeWrapper, schema::QoSType::type());
    addEnumerationClass(definition, new QueueTypeWrapper, schema::QueueType::type());
    addEnumerationClass(definition, new VirtualityWrapper, schema::Virtuality::type());
}

void registerEnumerationMarshalers() {
    registerEnumerationMarshaler<Complexity>(schema::Complexity::type());
    registerEnumerationMarshaler<DataMode>(schema::DataMode::type());
    registerEnumerationMarshaler<DimsMode>(schema::DimsMode::type());
    registerEnumerationMarshaler<OutputWhenDisabled>(schema::OutputWhenDisabled::type());
    registerEnumerationMarshaler<QoSType>(schema::QoSType::type());
    registerEnumerationMarshaler<QueueType>(schema::QueueType::type());
    registerEnumerationMarshaler<Virtuality>(schema::Virtuality::type());
}

void unregisterEnumerationMarshalers() {
    unregisterEnumerationMarshaler(schema::Complexity::type());
    unregisterEnumerationMarshaler(schema::DataMode::type());
    unregisterEnumerationMarshaler(schema::DimsMode::type());
    unregisterEnumerationMarshaler(schema::OutputWhenDisabled::type());
    unregisterEnumerationMarshaler(schema::QoSType::type());
    unregisterEnumerationMarshaler(schema::QueueType::type());
    unregisterEnumerationMarshaler(schema::Virtuality::type());
}

}  // namespace tav::fenmo::treeNode::qorin
