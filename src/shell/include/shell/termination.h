#pragma once

class Form1;

// Makes SIGTERM and SIGINT end the window the orderly way, through Form1::terminate, on the
// user-interface thread.
void installTerminationHandler(Form1 *window);
