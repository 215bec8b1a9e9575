#pragma once
// Starts the engine, runs the frame loop and shuts down; returns the exit code.
int runGame();
