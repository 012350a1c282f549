// script module public header.
#pragma once
