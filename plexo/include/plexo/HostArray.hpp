#pragma once
// Host arrays: every value a script sees is one. An array has a class (double, int32, logical, char,
// string, struct, cell, or a scripting class) and dimensions rows x cols. Arrays handed out by the
// functions below belong to the caller, who releases them with destroyArray (or holds them in an Array).
//
// Objects of a handle class share one ObjectInstance per object: copying the array copies references,
// and when the last reference goes the class info's release operation is told the object's native
// pointer. Enumeration members are value objects: a class and an underlying int32 array.

#include <plexo/Export.hpp>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

PLEXO_API_BEGIN

namespace plexo {

// An interned class name; equal names give the same id (makeInterned).
struct ClassEntry;
using ClassId = const ClassEntry*;

enum class ArrayKind : std::uint8_t { Double, Int32, Logical, Char, String, Struct, Cell, Object };
enum class NumericClass : std::uint8_t { Double, Int32 };

// One object of a handle class: its class and the native object it is bound to (null until bound).
class ObjectInstance {
public:
    explicit ObjectInstance(ClassId cls) noexcept : m_class(cls) {}
    ObjectInstance(const ObjectInstance&) = delete;
    ObjectInstance& operator=(const ObjectInstance&) = delete;
    // Tells the class info that the host drops the object (when it is bound).
    ~ObjectInstance();

    ClassId classId() const noexcept { return m_class; }
    void* native() const noexcept { return m_native; }
    void bind(void* native) noexcept { m_native = native; }

private:
    ClassId m_class;
    void* m_native = nullptr;
};

class HostArray {
public:
    HostArray(ArrayKind kind, std::size_t rows, std::size_t cols);
    HostArray(const HostArray& other);  // deep for values, shared for handle objects
    HostArray& operator=(const HostArray&) = delete;
    ~HostArray();

    ArrayKind kind() const noexcept { return m_kind; }
    std::size_t rows() const noexcept { return m_rows; }
    std::size_t cols() const noexcept { return m_cols; }
    std::size_t numel() const noexcept { return m_rows * m_cols; }

    // Numeric, logical and text data (column-major; char arrays hold UTF-16 code units).
    std::vector<double>& doubles() noexcept { return m_doubles; }
    const std::vector<double>& doubles() const noexcept { return m_doubles; }
    std::vector<std::int32_t>& int32s() noexcept { return m_int32s; }
    const std::vector<std::int32_t>& int32s() const noexcept { return m_int32s; }
    std::vector<std::uint8_t>& logicals() noexcept { return m_logicals; }
    const std::vector<std::uint8_t>& logicals() const noexcept { return m_logicals; }
    std::u16string& chars() noexcept { return m_chars; }
    const std::u16string& chars() const noexcept { return m_chars; }
    std::vector<std::u16string>& strings() noexcept { return m_strings; }
    const std::vector<std::u16string>& strings() const noexcept { return m_strings; }

    // Struct arrays: field names, and per element one value per field (null until set).
    const std::vector<std::string>& fieldNames() const noexcept { return m_fieldNames; }
    int fieldIndex(std::string_view name) const noexcept;
    const HostArray* getField(std::size_t element, std::string_view name) const;
    // Adds a field (empty in every element) unless the array has it; its index.
    int addField(std::string_view name);
    // Takes ownership of `value`; an unknown field is added to every element.
    void setField(std::size_t element, std::string_view name, HostArray* value);
    // Cell arrays: one value per element (null until set).
    const HostArray* getCell(std::size_t element) const;
    void setCell(std::size_t element, HostArray* value);

    // Objects: the class, and for handle classes one instance per element.
    ClassId classId() const noexcept { return m_class; }
    void setClassId(ClassId cls) noexcept { m_class = cls; }
    std::vector<std::shared_ptr<ObjectInstance>>& instances() noexcept { return m_instances; }
    const std::vector<std::shared_ptr<ObjectInstance>>& instances() const noexcept { return m_instances; }
    // Value objects built on an array (enumeration members on int32), else null.
    const HostArray* underlying() const noexcept { return m_underlying.get(); }
    void setUnderlying(std::unique_ptr<HostArray> array);
    void reshape(std::size_t rows, std::size_t cols) noexcept;

private:
    void resizeData();

    ArrayKind m_kind;
    std::size_t m_rows, m_cols;
    std::vector<double> m_doubles;
    std::vector<std::int32_t> m_int32s;
    std::vector<std::uint8_t> m_logicals;
    std::u16string m_chars;
    std::vector<std::u16string> m_strings;
    std::vector<std::string> m_fieldNames;
    std::vector<std::unique_ptr<HostArray>> m_values;  // struct: element-major, one per field; cell: one each
    ClassId m_class = nullptr;
    std::vector<std::shared_ptr<ObjectInstance>> m_instances;
    std::unique_ptr<HostArray> m_underlying;
};

// Creation. Numeric and logical arrays are zero-filled.
HostArray* createNumericMatrix(std::size_t rows, std::size_t cols, NumericClass cls);
HostArray* createDoubleScalar(double value);
HostArray* createInt32Scalar(std::int32_t value);
HostArray* createLogicalMatrix(std::size_t rows, std::size_t cols);
HostArray* createLogicalScalar(bool value);
// A 1xN char array of the text (UTF-8 in createString, decoded to UTF-16); an empty text gives 0x0.
HostArray* createString(std::string_view utf8);
HostArray* createStringUtf16(std::u16string_view text);
// A 1x1 "string" object.
HostArray* createStringObject(std::u16string_view text);
HostArray* createStructMatrix(std::size_t rows, std::size_t cols, const std::vector<std::string>& fieldNames);
HostArray* createCellMatrix(std::size_t rows, std::size_t cols);
HostArray* duplicateArray(const HostArray& array);
void destroyArray(HostArray* array) noexcept;

// The class name of an array: "double", "int32", "logical", "char", "string", "struct", "cell", or the
// scripting class's full name.
std::string getClassName(const HostArray& array);
// Whether the array is exactly of the class; isA also accepts a superclass of its class.
bool isClass(const HostArray* array, std::string_view name);
bool isA(const HostArray* array, std::string_view name);
bool isEmpty(const HostArray* array) noexcept;
std::size_t getNumberOfElements(const HostArray* array) noexcept;
bool isChar(const HostArray* array) noexcept;
bool isStruct(const HostArray* array) noexcept;
bool isCell(const HostArray* array) noexcept;
bool isNumeric(const HostArray* array) noexcept;
// Element i of a numeric or logical array as a double (0 outside the array).
double getScalarDouble(const HostArray& array, std::size_t i = 0);

// A growable array of texts, for hosts that hand lists of names across library boundaries; libraries
// instantiate it for their character type and export the instantiation.
template <class CharT>
class StringArray {
public:
    // Defined below the class, so that a library's explicit instantiation emits (and exports) them too.
    StringArray();
    ~StringArray();
    std::size_t size() const noexcept { return m_items.size(); }
    void resize(std::size_t n) { m_items.resize(n); }
    void append(std::basic_string_view<CharT> text) { m_items.emplace_back(text); }
    const std::basic_string<CharT>& operator[](std::size_t i) const { return m_items.at(i); }

private:
    std::vector<std::basic_string<CharT>> m_items;
};

template <class CharT>
StringArray<CharT>::StringArray() = default;
template <class CharT>
StringArray<CharT>::~StringArray() = default;

// An owning reference to an array, for callers of the embedding API.
struct ArrayDeleter {
    void operator()(HostArray* array) const noexcept { destroyArray(array); }
};
using Array = std::unique_ptr<HostArray, ArrayDeleter>;

}  // namespace plexo

PLEXO_API_END
