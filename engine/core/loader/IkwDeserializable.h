// The operation by which an object made for a record reads its own fields:
// every class the parser creates from a file implements it.
#pragma once

class CkwSerializeBufferObjectsIn;

class IkwDeserializable {
public:
    // Reads the fields with the buffer's readers; any failure leaves.
    virtual void deserialize(CkwSerializeBufferObjectsIn& buffer) = 0;

protected:
    ~IkwDeserializable() = default;
};
