#pragma once
// What a core operation hands to whoever shows its results: the colour of a log line and the icon
// of a message box. Shared by the sinks of every subsystem so that one front end can serve them all.
namespace base {

enum class LogColour { Normal, Error };

enum class MessageIcon { Information, Warning, Error, Question };

}  // namespace base
