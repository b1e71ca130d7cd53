#!/bin/sh
# Velmar Acc launcher.
echo "Velmar Acc 1.0.0.0"
