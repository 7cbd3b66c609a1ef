#pragma once

// The application: opens the files it is given (how the desktop hands over the documents
// the user opened), else one untitled document, and runs until the last window closes or
// Quit has reviewed the unsaved documents.
namespace VantrelApp {

int run(int argc, char **argv);

} // namespace VantrelApp
