#pragma once
inline constexpr const char* VarnexVersion = "20130801";
inline constexpr const char* VarnexDesignCaption = "Varnex Vers ";
