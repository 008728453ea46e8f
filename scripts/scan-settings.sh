#!/usr/bin/env bash
# Sourced by the scripts that let the program scan terrain.
# set_scan_area SKV_INI NORTH SOUTH WEST EAST: the settings file switched to
# the terrain scan of that area (degrees).
set_scan_area() {
  sed -i -e "s/^Run terrain scan: 0/Run terrain scan: 1/" \
         -e "s/^Northernmost latitude: .*/Northernmost latitude: $2/" \
         -e "s/^Southernmost latitude: .*/Southernmost latitude: $3/" \
         -e "s/^Westernmost longitude: .*/Westernmost longitude: $4/" \
         -e "s/^Easternmost longitude: .*/Easternmost longitude: $5/" "$1"
}
