@echo off
echo Hello from the Velmora Demo.
