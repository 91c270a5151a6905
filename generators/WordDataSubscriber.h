#pragma once
// Receiver of the word model's messages (data problems met while walking the model, and the
// initializer's progress). Messages are narrow Windows-1252 text, as the model's words are.
// The walk runs on several threads at once, so an implementation must accept calls from any
// thread.

#include <string_view>

class IWordDataSubscriber {
public:
    virtual ~IWordDataSubscriber() = default;
    virtual void Notify(std::string_view text) = 0;
};
