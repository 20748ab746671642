/* Section layout of the C-runtime-free programs.
 *
 * Each section costs whole 512-byte file blocks, so read-only data does not
 * get a section of its own: constants share one read-only block with the
 * import tables, as other Windows linkers lay it out. That block must be
 * named .idata, because the linker finds the import directory by that name.
 * The loader unprotects the import address table itself while binding it.
 * Zero-filled state takes no file bytes at all.
 */
SECTIONS
{
  . = SIZEOF_HEADERS;
  . = ALIGN(__section_alignment__);
  .text __image_base__ + __section_alignment__ :
  {
    *(.text) *(SORT(.text$*)) *(.text.*)
  }
  .idata BLOCK(__section_alignment__) :
  {
    KEEP (SORT(*)(.idata$2))
    KEEP (SORT(*)(.idata$3))
    /* These zeroes end the list of import descriptors. */
    LONG (0); LONG (0); LONG (0); LONG (0); LONG (0);
    KEEP (SORT(*)(.idata$4))
    __IAT_start__ = .;
    KEEP (SORT(*)(.idata$5))
    __IAT_end__ = .;
    KEEP (SORT(*)(.idata$6))
    KEEP (SORT(*)(.idata$7))
    *(.rdata) *(SORT(.rdata$*)) *(.rodata) *(.rodata.*)
    *(.xdata*)
  }
  .pdata BLOCK(__section_alignment__) : { KEEP (*(.pdata*)) }
  .data BLOCK(__section_alignment__) : { *(.data) *(.data$*) *(.data.*) }
  .bss BLOCK(__section_alignment__) : { *(.bss) *(.bss$*) *(.bss.*) *(COMMON) }
  .rsrc BLOCK(__section_alignment__) : { KEEP (*(.rsrc)) KEEP (*(SORT(.rsrc$*))) }
  .reloc BLOCK(__section_alignment__) : { *(.reloc) }
  /DISCARD/ :
  {
    *(.debug$S) *(.debug$T) *(.debug$F) *(.drectve) *(.note.GNU-stack) *(.gnu.lto_*)
    *(.eh_frame*) *(.ctors) *(.dtors) *(.ctors.*) *(.dtors.*)
  }
}
