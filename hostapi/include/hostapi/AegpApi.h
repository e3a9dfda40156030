// AEGP types and the AEGP suites the effect reads layers, streams and effect references with.
#pragma once

#include "EffectApi.h"

#pragma pack(push, 8)

extern "C" {

typedef A_long AEGP_PluginID;
typedef struct _AEGP_Layer** AEGP_LayerH;
typedef struct _AEGP_Comp** AEGP_CompH;
typedef struct _AEGP_Item** AEGP_ItemH;
typedef struct _AEGP_Effect** AEGP_EffectRefH;
typedef struct _AEGPp_Stream** AEGP_StreamRefH;
typedef struct _AEGP_Mask** AEGP_MaskRefH;
typedef struct _Up_OpaqueMem** AEGP_MemHandle;
typedef A_long AEGP_LayerIDVal;
typedef A_long AEGP_MaskIDVal;
typedef A_long AEGP_LayerStream;
typedef A_long AEGP_MaskStream;
typedef A_short AEGP_LTimeMode;
typedef A_u_long AEGP_DynStreamFlags;
typedef A_long AEGP_StreamType;
typedef A_long AEGP_StreamFlags;
typedef A_long AEGP_KeyInterpolationMask;
typedef A_long AEGP_StreamGroupingType;
typedef A_long AEGP_EffectIndex;
typedef A_long AEGP_InstalledEffectKey;
typedef A_long AEGP_EffectFlags;
typedef A_short AEGP_LayerQuality;
typedef A_long AEGP_LayerFlags;
typedef A_long AEGP_ObjectType;
typedef A_FpLong AEGP_OneDVal;
typedef A_FpLong AEGP_FourDVal[4];
typedef A_Handle AEGP_ArbBlockVal;
typedef struct _AEGP_MarkerVal AEGP_MarkerVal;
typedef AEGP_MarkerVal** AEGP_MarkerValH;
typedef struct _AEGP_MarkerValP* AEGP_MarkerValP;
typedef struct _AEGP_MaskOutline** AEGP_MaskOutlineValH;
typedef struct _AEGP_TextDocument** AEGP_TextDocumentH;
typedef A_long AEGP_TrackMatte;
typedef A_long AEGP_TransferFlags;
typedef A_char AEGP_LabelID;

typedef struct {
  A_FpLong x;
  A_FpLong y;
} AEGP_TwoDVal;

typedef struct {
  A_FpLong x;
  A_FpLong y;
  A_FpLong z;
} AEGP_ThreeDVal;

typedef struct {
  A_FpLong alphaF;
  A_FpLong redF;
  A_FpLong greenF;
  A_FpLong blueF;
} AEGP_ColorVal;

typedef union {
  AEGP_FourDVal four_d;
  AEGP_ThreeDVal three_d;
  AEGP_TwoDVal two_d;
  AEGP_OneDVal one_d;
  AEGP_ColorVal color;
  AEGP_ArbBlockVal arbH;
  AEGP_MarkerValP markerP;
  AEGP_LayerIDVal layer_id;
  AEGP_MaskIDVal mask_id;
  AEGP_MaskOutlineValH mask;
  AEGP_TextDocumentH text_documentH;
} AEGP_StreamVal2;

typedef struct {
  AEGP_StreamRefH streamH;
  AEGP_StreamVal2 val;
} AEGP_StreamValue2;

typedef union {
  AEGP_FourDVal four_d;
  AEGP_ThreeDVal three_d;
  AEGP_TwoDVal two_d;
  AEGP_OneDVal one_d;
  AEGP_ColorVal color;
  AEGP_ArbBlockVal arbH;
  AEGP_MarkerValH markerH;
  AEGP_LayerIDVal layer_id;
  AEGP_MaskIDVal mask_id;
  AEGP_MaskOutlineValH mask;
  AEGP_TextDocumentH text_documentH;
} AEGP_StreamVal;

typedef struct {
  AEGP_StreamRefH streamH;
  AEGP_StreamVal val;
} AEGP_StreamValue;

typedef struct {
  PF_TransferMode mode;
  AEGP_TransferFlags flags;
  AEGP_TrackMatte track_matte;
} AEGP_LayerTransferMode;

// ---------------------------------------------------------------------------------------------
// Constants
// ---------------------------------------------------------------------------------------------
enum : A_long {
  AEGP_LayerStream_NONE = -1,
  AEGP_LayerStream_ANCHORPOINT = 0,
  AEGP_LayerStream_POSITION = 1,
  AEGP_LayerStream_SCALE = 2,
  AEGP_LayerStream_ROTATION = 3,
  AEGP_LayerStream_ROTATE_Z = 3,
  AEGP_LayerStream_OPACITY = 4,
  AEGP_LayerStream_AUDIO = 5,
  AEGP_LayerStream_MARKER = 6,
  AEGP_LayerStream_TIME_REMAP = 7,
  AEGP_LayerStream_ROTATE_X = 8,
  AEGP_LayerStream_ROTATE_Y = 9,
  AEGP_LayerStream_ORIENTATION = 10
};

enum : A_short { AEGP_LTimeMode_LayerTime = 0, AEGP_LTimeMode_CompTime = 1 };

enum : A_u_long {
  AEGP_DynStreamFlag_ACTIVE_EYEBALL = 1,
  AEGP_DynStreamFlag_HIDDEN = 2,
  AEGP_DynStreamFlag_DISABLED = 16,
  AEGP_DynStreamFlag_ELIDED = 32,
  AEGP_DynStreamFlag_SHOWN_WHEN_EMPTY = 1024,
  AEGP_DynStreamFlag_SKIP_REVEAL_WHEN_UNHIDDEN = 65536
};

enum : A_long {
  AEGP_StreamType_NO_DATA = 0,
  AEGP_StreamType_ThreeD_SPATIAL = 1,
  AEGP_StreamType_ThreeD = 2,
  AEGP_StreamType_TwoD_SPATIAL = 3,
  AEGP_StreamType_TwoD = 4,
  AEGP_StreamType_OneD = 5,
  AEGP_StreamType_COLOR = 6,
  AEGP_StreamType_ARB = 7,
  AEGP_StreamType_MARKER = 8,
  AEGP_StreamType_LAYER_ID = 9,
  AEGP_StreamType_MASK_ID = 10,
  AEGP_StreamType_MASK = 11,
  AEGP_StreamType_TEXT_DOCUMENT = 12
};

// ---------------------------------------------------------------------------------------------
// Suites
// ---------------------------------------------------------------------------------------------
#define kAEGPPFInterfaceSuite "AEGP PF Interface Suite"
#define kAEGPPFInterfaceSuiteVersion1 1
#define kAEGPStreamSuite "AEGP Stream Suite"
#define kAEGPStreamSuiteVersion2 7
#define kAEGPStreamSuiteVersion4 9
#define kAEGPDynamicStreamSuite "AEGP Dynamic Stream Suite"
#define kAEGPDynamicStreamSuiteVersion2 2
#define kAEGPEffectSuite "AEGP Effect Suite"
#define kAEGPEffectSuiteVersion2 2
#define kAEGPLayerSuite "AEGP Layer Suite"
#define kAEGPLayerSuiteVersion5 11
#define kAEGPLayerSuiteVersion7 13

/// "AEGP PF Interface Suite", version 1.
typedef struct AEGP_PFInterfaceSuite1 {
  A_Err (*AEGP_GetEffectLayer)(PF_ProgPtr effect_pp_ref, AEGP_LayerH* layerPH);
  A_Err (*AEGP_GetNewEffectForEffect)(AEGP_PluginID aegp_plugin_id, PF_ProgPtr effect_pp_ref,
                                      AEGP_EffectRefH* effect_refPH);
  A_Err (*AEGP_ConvertEffectToCompTime)(PF_ProgPtr effect_pp_ref, A_long what_timeL,
                                        A_u_long time_scaleLu, A_Time* comp_timePT);
  A_Err (*AEGP_GetEffectCamera)(PF_ProgPtr effect_pp_ref, const A_Time* comp_timePT,
                                AEGP_LayerH* camera_layerPH);
  A_Err (*AEGP_GetEffectCameraMatrix)(PF_ProgPtr effect_pp_ref, const A_Time* comp_timePT,
                                      A_Matrix4* camera_matrixP, A_FpLong* dist_to_image_planePF,
                                      A_short* image_plane_widthPL, A_short* image_plane_heightPL);
} AEGP_PFInterfaceSuite1;

// The stream suite's table, shared by versions 7 and 9 except for the value types and the
// name query. ValueT is AEGP_StreamValue / AEGP_StreamValue2, ValT AEGP_StreamVal / ...Val2.
#define QS_AEGP_STREAM_SUITE_MEMBERS(ValueT, ValT, GetStreamNameDecl)                             \
  A_Err (*AEGP_IsStreamLegal)(AEGP_LayerH layerH, AEGP_LayerStream which_stream,                  \
                              A_Boolean * is_legalP);                                             \
  A_Err (*AEGP_CanVaryOverTime)(AEGP_StreamRefH streamH, A_Boolean * can_varyPB);                 \
  A_Err (*AEGP_GetValidInterpolations)(AEGP_StreamRefH streamH,                                   \
                                       AEGP_KeyInterpolationMask * valid_interpolationsP);        \
  A_Err (*AEGP_GetNewLayerStream)(AEGP_PluginID aegp_plugin_id, AEGP_LayerH layerH,               \
                                  AEGP_LayerStream which_stream, AEGP_StreamRefH * streamPH);     \
  A_Err (*AEGP_GetEffectNumParamStreams)(AEGP_EffectRefH effect_refH, A_long * num_paramsPL);     \
  A_Err (*AEGP_GetNewEffectStreamByIndex)(AEGP_PluginID aegp_plugin_id,                           \
                                          AEGP_EffectRefH effect_refH, PF_ParamIndex param_index, \
                                          AEGP_StreamRefH * streamPH);                            \
  A_Err (*AEGP_GetNewMaskStream)(AEGP_PluginID aegp_plugin_id, AEGP_MaskRefH mask_refH,           \
                                 AEGP_MaskStream which_stream, AEGP_StreamRefH * mask_streamPH);  \
  A_Err (*AEGP_DisposeStream)(AEGP_StreamRefH streamH);                                           \
  GetStreamNameDecl;                                                                              \
  A_Err (*AEGP_GetStreamUnitsText)(AEGP_StreamRefH streamH, A_Boolean force_englishB,             \
                                   A_char * unitsZ);                                              \
  A_Err (*AEGP_GetStreamProperties)(AEGP_StreamRefH streamH, AEGP_StreamFlags * flagsP,           \
                                    A_FpLong * minP0, A_FpLong * maxP0);                          \
  A_Err (*AEGP_IsStreamTimevarying)(AEGP_StreamRefH streamH, A_Boolean * is_timevaryingPB);       \
  A_Err (*AEGP_GetStreamType)(AEGP_StreamRefH streamH, AEGP_StreamType * stream_typeP);           \
  A_Err (*AEGP_GetNewStreamValue)(AEGP_PluginID aegp_plugin_id, AEGP_StreamRefH streamH,          \
                                  AEGP_LTimeMode time_mode, const A_Time* timePT,                 \
                                  A_Boolean pre_expressionB, ValueT* valueP);                     \
  A_Err (*AEGP_DisposeStreamValue)(ValueT * valueP);                                              \
  A_Err (*AEGP_SetStreamValue)(AEGP_PluginID aegp_plugin_id, AEGP_StreamRefH streamH,             \
                               ValueT * valueP);                                                  \
  A_Err (*AEGP_GetLayerStreamValue)(AEGP_LayerH layerH, AEGP_LayerStream which_stream,            \
                                    AEGP_LTimeMode time_mode, const A_Time* timePT,               \
                                    A_Boolean pre_expressionB, ValT* stream_valP,                 \
                                    AEGP_StreamType* stream_typeP0);                              \
  A_Err (*AEGP_GetExpressionState)(AEGP_PluginID aegp_plugin_id, AEGP_StreamRefH streamH,         \
                                   A_Boolean * enabledPB);                                        \
  A_Err (*AEGP_SetExpressionState)(AEGP_PluginID aegp_plugin_id, AEGP_StreamRefH streamH,         \
                                   A_Boolean enabledB);                                           \
  A_Err (*AEGP_GetExpression)(AEGP_PluginID aegp_plugin_id, AEGP_StreamRefH streamH,              \
                              AEGP_MemHandle * expressionHZ);                                     \
  A_Err (*AEGP_SetExpression)(AEGP_PluginID aegp_plugin_id, AEGP_StreamRefH streamH,              \
                              const A_char* expressionP);                                         \
  A_Err (*AEGP_DuplicateStreamRef)(AEGP_PluginID aegp_plugin_id, AEGP_StreamRefH streamH,         \
                                   AEGP_StreamRefH * dup_streamPH);

/// "AEGP Stream Suite", version 7.
typedef struct AEGP_StreamSuite2 {
  QS_AEGP_STREAM_SUITE_MEMBERS(AEGP_StreamValue, AEGP_StreamVal,
                               A_Err (*AEGP_GetStreamName)(AEGP_StreamRefH streamH,
                                                           A_Boolean force_englishB, A_char* nameZ))
} AEGP_StreamSuite2;

/// "AEGP Stream Suite", version 9.
typedef struct AEGP_StreamSuite4 {
  QS_AEGP_STREAM_SUITE_MEMBERS(AEGP_StreamValue2, AEGP_StreamVal2,
                               A_Err (*AEGP_GetStreamName)(AEGP_PluginID pluginID,
                                                           AEGP_StreamRefH streamH,
                                                           A_Boolean force_englishB,
                                                           AEGP_MemHandle* utf_stream_namePH))
} AEGP_StreamSuite4;

#undef QS_AEGP_STREAM_SUITE_MEMBERS

/// "AEGP Dynamic Stream Suite", version 2.
typedef struct AEGP_DynamicStreamSuite2 {
  A_Err (*AEGP_GetNewStreamRefForLayer)(AEGP_PluginID aegp_plugin_id, AEGP_LayerH layerH,
                                        AEGP_StreamRefH* streamPH);
  A_Err (*AEGP_GetStreamDepth)(AEGP_StreamRefH streamH, A_long* depthPL);
  A_Err (*AEGP_GetStreamGroupingType)(AEGP_StreamRefH streamH,
                                      AEGP_StreamGroupingType* group_typeP);
  A_Err (*AEGP_GetNumStreamsInGroup)(AEGP_StreamRefH streamH, A_long* num_streamsPL);
  A_Err (*AEGP_GetDynamicStreamFlags)(AEGP_StreamRefH streamH, AEGP_DynStreamFlags* stream_flagsP);
  A_Err (*AEGP_SetDynamicStreamFlag)(AEGP_StreamRefH streamH, AEGP_DynStreamFlags one_flag,
                                     A_Boolean undoableB, A_Boolean setB);
  A_Err (*AEGP_GetNewStreamRefByIndex)(AEGP_PluginID aegp_plugin_id, AEGP_StreamRefH parent_groupH,
                                       A_long indexL, AEGP_StreamRefH* streamPH);
  A_Err (*AEGP_GetNewStreamRefByMatchname)(AEGP_PluginID aegp_plugin_id,
                                           AEGP_StreamRefH parent_groupH, const A_char* match_nameZ,
                                           AEGP_StreamRefH* streamPH);
  A_Err (*AEGP_DeleteStream)(AEGP_StreamRefH streamH);
  A_Err (*AEGP_ReorderStream)(AEGP_StreamRefH streamH, A_long new_indexL);
  A_Err (*AEGP_DuplicateStream)(AEGP_PluginID aegp_plugin_id, AEGP_StreamRefH streamH,
                                A_long* new_indexPL0);
  A_Err (*AEGP_SetStreamName)(AEGP_StreamRefH streamH, const A_char* nameZ);
  A_Err (*AEGP_CanAddStream)(AEGP_StreamRefH group_streamH, const A_char* match_nameZ,
                             A_Boolean* can_addPB);
  A_Err (*AEGP_AddStream)(AEGP_PluginID aegp_plugin_id, AEGP_StreamRefH indexed_group_streamH,
                          const A_char* match_nameZ, AEGP_StreamRefH* streamPH0);
  A_Err (*AEGP_GetMatchName)(AEGP_StreamRefH streamH, A_char* nameZ);
  A_Err (*AEGP_GetNewParentStreamRef)(AEGP_PluginID aegp_plugin_id, AEGP_StreamRefH streamH,
                                      AEGP_StreamRefH* parent_streamPH);
  A_Err (*AEGP_GetStreamIsModified)(AEGP_StreamRefH streamH, A_Boolean* modifiedPB);
} AEGP_DynamicStreamSuite2;

/// "AEGP Effect Suite", version 2.
typedef struct AEGP_EffectSuite2 {
  A_Err (*AEGP_GetLayerNumEffects)(AEGP_LayerH layerH, A_long* num_effectsPL);
  A_Err (*AEGP_GetLayerEffectByIndex)(AEGP_PluginID aegp_plugin_id, AEGP_LayerH layerH,
                                      AEGP_EffectIndex layer_effect_indexL,
                                      AEGP_EffectRefH* effectPH);
  A_Err (*AEGP_GetInstalledKeyFromLayerEffect)(AEGP_EffectRefH effect_refH,
                                               AEGP_InstalledEffectKey* installed_effect_keyP);
  A_Err (*AEGP_GetEffectParamUnionByIndex)(AEGP_PluginID aegp_plugin_id,
                                           AEGP_EffectRefH effect_refH, PF_ParamIndex param_index,
                                           PF_ParamType* param_typeP, PF_ParamDefUnion* uP0);
  A_Err (*AEGP_GetEffectFlags)(AEGP_EffectRefH effect_refH, AEGP_EffectFlags* effect_flagsP);
  A_Err (*AEGP_SetEffectFlags)(AEGP_EffectRefH effect_refH, AEGP_EffectFlags effect_flags_set_mask,
                               AEGP_EffectFlags effect_flags);
  A_Err (*AEGP_ReorderEffect)(AEGP_EffectRefH effect_refH, A_long effect_indexL);
  A_Err (*AEGP_EffectCallGeneric)(AEGP_PluginID aegp_plugin_id, AEGP_EffectRefH effect_refH,
                                  const A_Time* timePT, void* effect_extraPV);
  A_Err (*AEGP_DisposeEffect)(AEGP_EffectRefH effect_refH);
  A_Err (*AEGP_ApplyEffect)(AEGP_PluginID aegp_plugin_id, AEGP_LayerH layerH,
                            AEGP_InstalledEffectKey installed_effect_key,
                            AEGP_EffectRefH* effect_refPH);
  A_Err (*AEGP_DeleteLayerEffect)(AEGP_EffectRefH effect_refH);
  A_Err (*AEGP_GetNumInstalledEffects)(A_long* num_installed_effectsPL);
  A_Err (*AEGP_GetNextInstalledEffect)(AEGP_InstalledEffectKey installed_effect_key,
                                       AEGP_InstalledEffectKey* next_effectPH);
  A_Err (*AEGP_GetEffectName)(AEGP_InstalledEffectKey installed_effect_key, A_char* nameZ);
  A_Err (*AEGP_GetEffectMatchName)(AEGP_InstalledEffectKey installed_effect_key,
                                   A_char* match_nameZ);
  A_Err (*AEGP_GetEffectCategory)(AEGP_InstalledEffectKey installed_effect_key, A_char* categoryZ);
  A_Err (*AEGP_DuplicateEffect)(AEGP_EffectRefH original_effect_refH,
                                AEGP_EffectRefH* duplicate_effect_refPH);
} AEGP_EffectSuite2;

// Layer suite members 0-45, shared by versions 11 and 13 except for the two name calls.
#define QS_AEGP_LAYER_SUITE_MEMBERS(GetLayerNameDecl, SetLayerNameDecl)                            \
  A_Err (*AEGP_GetCompNumLayers)(AEGP_CompH compH, A_long * num_layersPL);                         \
  A_Err (*AEGP_GetCompLayerByIndex)(AEGP_CompH compH, A_long layer_indexL, AEGP_LayerH * layerPH); \
  A_Err (*AEGP_GetActiveLayer)(AEGP_LayerH * layerPH);                                             \
  A_Err (*AEGP_GetLayerIndex)(AEGP_LayerH layerH, A_long * layer_indexPL);                         \
  A_Err (*AEGP_GetLayerSourceItem)(AEGP_LayerH layerH, AEGP_ItemH * source_itemPH);                \
  A_Err (*AEGP_GetLayerSourceItemID)(AEGP_LayerH layerH, A_long * source_item_idPL);               \
  A_Err (*AEGP_GetLayerParentComp)(AEGP_LayerH layerH, AEGP_CompH * compPH);                       \
  GetLayerNameDecl;                                                                                \
  A_Err (*AEGP_GetLayerQuality)(AEGP_LayerH layerH, AEGP_LayerQuality * qualityP);                 \
  A_Err (*AEGP_SetLayerQuality)(AEGP_LayerH layerH, AEGP_LayerQuality quality);                    \
  A_Err (*AEGP_GetLayerFlags)(AEGP_LayerH layerH, AEGP_LayerFlags * layer_flagsP);                 \
  A_Err (*AEGP_SetLayerFlag)(AEGP_LayerH layerH, AEGP_LayerFlags single_flag, A_Boolean valueB);   \
  A_Err (*AEGP_IsLayerVideoReallyOn)(AEGP_LayerH layerH, A_Boolean * onPB);                        \
  A_Err (*AEGP_IsLayerAudioReallyOn)(AEGP_LayerH layerH, A_Boolean * onPB);                        \
  A_Err (*AEGP_GetLayerCurrentTime)(AEGP_LayerH layerH, AEGP_LTimeMode time_mode,                  \
                                    A_Time * curr_timePT);                                         \
  A_Err (*AEGP_GetLayerInPoint)(AEGP_LayerH layerH, AEGP_LTimeMode time_mode,                      \
                                A_Time * in_pointPT);                                              \
  A_Err (*AEGP_GetLayerDuration)(AEGP_LayerH layerH, AEGP_LTimeMode time_mode,                     \
                                 A_Time * durationPT);                                             \
  A_Err (*AEGP_SetLayerInPointAndDuration)(AEGP_LayerH layerH, AEGP_LTimeMode time_mode,           \
                                           const A_Time* in_pointPT, const A_Time* durationPT);    \
  A_Err (*AEGP_GetLayerOffset)(AEGP_LayerH layerH, A_Time * offsetPT);                             \
  A_Err (*AEGP_SetLayerOffset)(AEGP_LayerH layerH, const A_Time* offsetPT);                        \
  A_Err (*AEGP_GetLayerStretch)(AEGP_LayerH layerH, A_Ratio * stretchPRt);                         \
  A_Err (*AEGP_SetLayerStretch)(AEGP_LayerH layerH, const A_Ratio* stretchPRt);                    \
  A_Err (*AEGP_GetLayerTransferMode)(AEGP_LayerH layerH, AEGP_LayerTransferMode * transfer_modeP); \
  A_Err (*AEGP_SetLayerTransferMode)(AEGP_LayerH layerH,                                           \
                                     const AEGP_LayerTransferMode* transfer_modeP);                \
  A_Err (*AEGP_IsAddLayerValid)(AEGP_ItemH item_to_addH, AEGP_CompH into_compH,                    \
                                A_Boolean * validPB);                                              \
  A_Err (*AEGP_AddLayer)(AEGP_ItemH item_to_addH, AEGP_CompH into_compH,                           \
                         AEGP_LayerH * added_layerPH0);                                            \
  A_Err (*AEGP_ReorderLayer)(AEGP_LayerH layerH, A_long layer_indexL);                             \
  A_Err (*AEGP_GetLayerMaskedBounds)(AEGP_LayerH layerH, AEGP_LTimeMode time_mode,                 \
                                     const A_Time* timePT, A_FloatRect* boundsPR);                 \
  A_Err (*AEGP_GetLayerObjectType)(AEGP_LayerH layerH, AEGP_ObjectType * object_type);             \
  A_Err (*AEGP_IsLayer3D)(AEGP_LayerH layerH, A_Boolean * is_3DPB);                                \
  A_Err (*AEGP_IsLayer2D)(AEGP_LayerH layerH, A_Boolean * is_2DPB);                                \
  A_Err (*AEGP_IsVideoActive)(AEGP_LayerH layerH, AEGP_LTimeMode time_mode, const A_Time* timePT,  \
                              A_Boolean* is_activePB);                                             \
  A_Err (*AEGP_IsLayerUsedAsTrackMatte)(AEGP_LayerH layerH, A_Boolean fill_must_be_activeB,        \
                                        A_Boolean * is_track_mattePB);                             \
  A_Err (*AEGP_DoesLayerHaveTrackMatte)(AEGP_LayerH layerH, A_Boolean * has_track_mattePB);        \
  A_Err (*AEGP_ConvertCompToLayerTime)(AEGP_LayerH layerH, const A_Time* comp_timePT,              \
                                       A_Time* layer_timePT);                                      \
  A_Err (*AEGP_ConvertLayerToCompTime)(AEGP_LayerH layerH, const A_Time* layer_timePT,             \
                                       A_Time* comp_timePT);                                       \
  A_Err (*AEGP_GetLayerDancingRandValue)(AEGP_LayerH layerH, const A_Time* comp_timePT,            \
                                         A_long* rand_valuePL);                                    \
  A_Err (*AEGP_GetLayerID)(AEGP_LayerH layerH, AEGP_LayerIDVal * id_valP);                         \
  A_Err (*AEGP_GetLayerToWorldXform)(AEGP_LayerH aegp_layerH, const A_Time* comp_timeP,            \
                                     A_Matrix4* transform);                                        \
  A_Err (*AEGP_GetLayerToWorldXformFromView)(AEGP_LayerH aegp_layerH, const A_Time* view_timeP,    \
                                             const A_Time* comp_timeP, A_Matrix4* transform);      \
  SetLayerNameDecl;                                                                                \
  A_Err (*AEGP_GetLayerParent)(const AEGP_LayerH layerH, AEGP_LayerH* parent_layerPH);             \
  A_Err (*AEGP_SetLayerParent)(AEGP_LayerH layerH, const AEGP_LayerH parent_layerH0);              \
  A_Err (*AEGP_DeleteLayer)(AEGP_LayerH layerH);                                                   \
  A_Err (*AEGP_DuplicateLayer)(AEGP_LayerH orig_layerH, AEGP_LayerH * duplicate_layerPH);          \
  A_Err (*AEGP_GetLayerFromLayerID)(AEGP_CompH parent_compH, AEGP_LayerIDVal id,                   \
                                    AEGP_LayerH * layerPH);

/// "AEGP Layer Suite", version 11.
typedef struct AEGP_LayerSuite5 {
  QS_AEGP_LAYER_SUITE_MEMBERS(A_Err (*AEGP_GetLayerName)(AEGP_LayerH layerH, A_char* layer_nameZ0,
                                                         A_char* source_nameZ0),
                              A_Err (*AEGP_SetLayerName)(AEGP_LayerH aegp_layerH,
                                                         const A_char* new_nameZ))
} AEGP_LayerSuite5;

/// "AEGP Layer Suite", version 13.
typedef struct AEGP_LayerSuite7 {
  QS_AEGP_LAYER_SUITE_MEMBERS(A_Err (*AEGP_GetLayerName)(AEGP_PluginID pluginID, AEGP_LayerH layerH,
                                                         AEGP_MemHandle* utf_layer_namePH0,
                                                         AEGP_MemHandle* utf_source_namePH0),
                              A_Err (*AEGP_SetLayerName)(AEGP_LayerH aegp_layerH,
                                                         const A_UTF16Char* new_nameZ))
  A_Err (*AEGP_GetLayerLabel)(AEGP_LayerH layerH, AEGP_LabelID* labelP);
  A_Err (*AEGP_SetLayerLabel)(AEGP_LayerH layerH, AEGP_LabelID label);
} AEGP_LayerSuite7;

#undef QS_AEGP_LAYER_SUITE_MEMBERS

}  // extern "C"

#pragma pack(pop)
